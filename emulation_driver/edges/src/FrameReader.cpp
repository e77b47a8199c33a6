#include "QuellinEdges/FrameReader.h"

#include "QuellinEdges/IdleSpin.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {
void signal_fd(int fd) {
    const uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
}

void clear_fd(int fd) {
    uint64_t count;
    (void)!::read(fd, &count, sizeof count);
}

bool watch_events(int epoll, int fd, uint32_t events, int op) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    return ::epoll_ctl(epoll, op, fd, &ev) == 0;
}
} // namespace

FrameReader::FrameReader(int fd, ReadOne read, size_t frameLimit, size_t ringBytes)
    : m_fd(fd), m_read(std::move(read)), m_frameLimit(frameLimit), m_ring(ringBytes) {
    if (frameLimit > m_ring.max_record())
        throw std::system_error(EINVAL, std::generic_category(), "frame reader ring");
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_notify = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const auto close_all = [this] {
        for (int f : {m_epoll, m_notify, m_wake})
            if (f >= 0)
                ::close(f);
    };
    if (m_epoll < 0 || m_notify < 0 || m_wake < 0 ||
        !watch_events(m_epoll, m_notify, EPOLLIN, EPOLL_CTL_ADD) ||
        !watch_events(m_epoll, m_fd, EPOLLIN, EPOLL_CTL_ADD)) {
        const int e = errno;
        close_all();
        throw std::system_error(e, std::generic_category(), "frame reader descriptors");
    }
    try {
        m_thread = std::thread([this] { run(); });
    } catch (...) {
        close_all();
        throw;
    }
}

FrameReader::~FrameReader() {
    m_stop.store(true, std::memory_order_seq_cst);
    signal_fd(m_wake);
    m_thread.join();
    for (int f : {m_epoll, m_notify, m_wake})
        ::close(f);
}

void FrameReader::tell_taker() {
    if (m_takerWaiting.exchange(0, std::memory_order_seq_cst) != 0)
        signal_fd(m_notify);
}

void FrameReader::wait_for_reading() {
    while (!m_stop.load(std::memory_order_seq_cst) &&
           !m_threadReads.load(std::memory_order_seq_cst)) {
        pollfd wake{m_wake, POLLIN, 0};
        ::poll(&wake, 1, -1);
        clear_fd(m_wake);
    }
}

size_t FrameReader::read_batch(bool& dry, bool& full, int& error) {
    size_t count = 0;
    // No more than a batch ahead of the taker.
    const uint64_t ahead = m_readFrames - m_taken.load(std::memory_order_acquire);
    const size_t limit = ahead < kBatch ? kBatch - ahead : 0;
    while (count < limit) {
        uint8_t* room = m_ring.reserve(m_frameLimit);
        if (!room) {
            full = true;
            break;
        }
        const ssize_t n = m_read(room, m_frameLimit);
        if (n >= 0) {
            m_ring.commit(static_cast<size_t>(n));
            ++count;
            ++m_readFrames;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            dry = true;
        else
            error = errno;
        break;
    }
    full = full || (count == limit && limit < kBatch);
    return count;
}

void FrameReader::run() {
    ::pthread_setname_np(::pthread_self(), "quellin-read");
    IdleSpin spin;
    IdleSpin behind(IdleSpin::kLongestSpinNs); // how long it waits for a taker that is behind
    for (;;) {
        if (!m_threadReads.load(std::memory_order_seq_cst)) {
            wait_for_reading();
            spin.worked();
            behind.worked();
        }
        if (m_stop.load(std::memory_order_seq_cst))
            return;
        bool dry = false;
        bool full = false;
        int error = 0;
        if (read_batch(dry, full, error) > 0) {
            m_ring.publish();
            tell_taker();
            spin.worked();
            behind.worked();
        }
        if (error != 0) {
            // The port failed: the taker takes what was read before, then the error.
            m_error.store(error, std::memory_order_seq_cst);
            m_threadReads.store(false, std::memory_order_seq_cst);
            tell_taker();
            continue;
        }
        if (full) {
            // The taker is behind: the port's own queue holds what comes meanwhile. While it
            // runs it takes a batch within a batch's work, and the ring holds no more: the
            // thread looks again at once, and naps only when the taker has taken nothing
            // for a while.
            if (!behind.keep_spinning())
                ::usleep(20);
            continue;
        }
        if (!dry || spin.keep_spinning())
            continue;
        // Dry for a while: the taker reads again, once it has taken what is in the ring.
        m_threadReads.store(false, std::memory_order_seq_cst);
        m_handedBack.store(true, std::memory_order_seq_cst);
        tell_taker();
    }
}

void FrameReader::taker_read(bool frame) {
    if (!frame) {
        m_readsInARow = 0;
        return;
    }
    if (++m_readsInARow < kHandOverReads)
        return;
    m_readsInARow = 0;
    // The port leaves the taker's watch before the thread reads it.
    if (!watch_events(m_epoll, m_fd, 0, EPOLL_CTL_MOD))
        return;
    m_takerReads = false;
    ++m_handOvers;
    m_threadReads.store(true, std::memory_order_seq_cst);
    signal_fd(m_wake);
}

bool FrameReader::take(const uint8_t*& frame, size_t& length, int& error) {
    if (m_holding) {
        m_ring.pop();
        m_ring.release();
        // Only the taker writes it: no locked increment.
        m_taken.store(m_taken.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        m_holding = false;
    }
    error = 0;
    bool cleared = false;
    for (;;) {
        if (m_ring.peek(frame, length)) {
            // The caller may stop before the ring is empty (its batch is full): the watch
            // stays readable for what waits, which a clear below took away.
            if (cleared)
                signal_fd(m_notify);
            m_holding = true;
            return true;
        }
        // Nothing waits: the notification is cleared, the thread told to give the next,
        // and the ring looked at once more for what came in between.
        clear_fd(m_notify);
        cleared = true;
        m_takerWaiting.store(1, std::memory_order_seq_cst);
        if (m_ring.has_published())
            continue;
        // What the thread read before it handed the reading back or failed was published
        // before it said so.
        if (m_handedBack.load(std::memory_order_seq_cst)) {
            if (m_ring.has_published())
                continue;
            m_handedBack.store(false, std::memory_order_seq_cst);
            if (!watch_events(m_epoll, m_fd, EPOLLIN, EPOLL_CTL_MOD)) {
                // The port could not be watched again: the thread goes on reading it.
                m_threadReads.store(true, std::memory_order_seq_cst);
                signal_fd(m_wake);
                return false;
            }
            m_takerReads = true;
            m_readsInARow = 0;
            return false;
        }
        error = m_error.load(std::memory_order_seq_cst);
        if (error != 0 && m_ring.has_published())
            continue;
        return false;
    }
}

} // namespace quellin::edges
