#include "QuellinEdges/FrameSender.h"

#include "QuellinEdges/IdleSpin.h"

#include <array>
#include <pthread.h>
#include <unistd.h>

namespace quellin::edges {

namespace {
void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
} // namespace

FrameSender::FrameSender(SendBatch send, size_t ringBytes)
    : m_send(std::move(send)), m_ring(ringBytes), m_thread([this] { run(); }) {}

FrameSender::~FrameSender() {
    m_stop.store(true, std::memory_order_seq_cst);
    m_sleeping.store(0, std::memory_order_seq_cst);
    m_sleeping.notify_one();
    m_thread.join();
}

const uint8_t* FrameSender::push(const uint8_t* frame, size_t length) {
    const uint8_t* copy = m_ring.push(frame, length);
    m_pushed += copy ? 1 : 0;
    return copy;
}

size_t FrameSender::publish() {
    m_ring.publish();
    m_published = m_pushed;
    // Paired with the thread's giving up the sending before it looks at the ring a last
    // time: either it sees what was just published or this takes the sending over.
    bool running = false;
    if (!m_sending.compare_exchange_strong(running, true, std::memory_order_seq_cst))
        return 0;
    // The thread does not run (it sleeps, or was woken and is not yet on a processor).
    size_t sent = 0;
    while (const size_t n = send_published())
        sent += n;
    m_sending.store(false, std::memory_order_seq_cst);
    // A longer batch may be the start of a flow: the thread takes the next ones.
    if (sent > kWakeAbove && m_sleeping.exchange(0, std::memory_order_seq_cst) != 0)
        m_sleeping.notify_one();
    return sent;
}

void FrameSender::drain() {
    while (!idle())
        ::usleep(50);
}

size_t FrameSender::send_published() {
    std::array<iovec, kBatch> frames;
    size_t count = 0;
    const uint8_t* data;
    size_t length;
    while (count < kBatch && m_ring.peek(data, length)) {
        frames[count++] = iovec{const_cast<uint8_t*>(data), length};
        m_ring.pop();
    }
    if (count == 0)
        return 0;
    m_started.fetch_add(count, std::memory_order_release);
    if (const size_t lost = m_send(frames.data(), count))
        m_lost.fetch_add(lost, std::memory_order_relaxed);
    // The room goes back only now: until then the kernel may still read the frames.
    m_ring.release();
    return count;
}

void FrameSender::run() {
    ::pthread_setname_np(::pthread_self(), "quellin-send");
    IdleSpin spin;
    for (;;) {
        // Running: the sending is this thread's (the queuing thread gives it back once the
        // frames it published are sent).
        while (m_sending.exchange(true, std::memory_order_seq_cst))
            pause();
        spin.woke();
        for (;;) {
            if (send_published()) {
                spin.worked();
                continue;
            }
            if (m_stop.load(std::memory_order_seq_cst)) {
                if (m_ring.has_published())
                    continue;
                m_sending.store(false, std::memory_order_seq_cst);
                return;
            }
            if (!spin.keep_spinning())
                break;
        }
        // Idle for a while: the queuing thread sends until it wakes this one again.
        const uint64_t readTo = m_ring.read_position();
        m_sending.store(false, std::memory_order_seq_cst);
        spin.sleeping();
        m_sleeping.store(1, std::memory_order_seq_cst);
        if (m_ring.published_beyond(readTo) || m_stop.load(std::memory_order_seq_cst)) {
            m_sleeping.store(0, std::memory_order_relaxed);
            continue;
        }
        m_sleeping.wait(1, std::memory_order_seq_cst);
    }
}

} // namespace quellin::edges
