#include "ControlSocket/ControlClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quellin::ctlsock {

namespace {

constexpr int kSliceMs = 100;

using Clock = std::chrono::steady_clock;

int remaining_ms(bool forever, Clock::time_point deadline) {
    if (forever)
        return kSliceMs;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long>(left.count(), kSliceMs));
}

} // namespace

ControlClient::~ControlClient() {
    close();
}

bool ControlClient::open(const std::string& path) {
    close();
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    m_fd = fd;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_broken = false;
    m_in.clear();
    m_outstanding.clear();
    m_ready.clear();
    return true;
}

void ControlClient::close() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outstanding.clear();
    m_ready.clear();
    m_in.clear();
}

Reply ControlClient::call(uint32_t code, std::span<const uint8_t> input, uint32_t output_capacity,
                          int timeout_ms) {
    Reply failed;
    const uint32_t id = submit(code, input, output_capacity);
    if (id == 0) {
        failed.status = is_open() ? kStatusPipeBroken : kStatusInvalidHandle;
        return failed;
    }
    const bool forever = timeout_ms < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeout_ms);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        auto it = m_ready.find(id);
        if (it != m_ready.end()) {
            Reply reply = std::move(it->second);
            m_ready.erase(it);
            return reply;
        }
        int slice = remaining_ms(forever, deadline);
        if (slice == 0) {
            m_outstanding.erase(id); // a late reply is dropped
            failed.status = kStatusIoTimeout;
            return failed;
        }
        pump(lock, slice);
    }
}

uint32_t ControlClient::submit(uint32_t code, std::span<const uint8_t> input,
                               uint32_t output_capacity) {
    if (m_fd < 0 || input.size() > kMaxInputBytes || output_capacity > kMaxOutputBytes)
        return 0;
    RequestFrame frame;
    frame.code = code;
    frame.input.assign(input.begin(), input.end());
    frame.output_capacity = output_capacity;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_broken)
            return 0;
        do
            frame.id = m_next_id++;
        while (frame.id == 0 || m_outstanding.count(frame.id) || m_ready.count(frame.id));
        m_outstanding[frame.id] = Outstanding{code, output_capacity};
    }
    if (!send_frame(encode_request(frame))) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outstanding.erase(frame.id);
        m_broken = true;
        fail_outstanding(kStatusPipeBroken);
        m_cv.notify_all();
        return 0;
    }
    return frame.id;
}

std::optional<Reply> ControlClient::poll(uint32_t id) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ready.count(id) && m_outstanding.count(id))
        pump(lock, 0);
    auto it = m_ready.find(id);
    if (it == m_ready.end())
        return std::nullopt;
    Reply reply = std::move(it->second);
    m_ready.erase(it);
    return reply;
}

uint32_t ControlClient::wait_any(std::span<const uint32_t> ids, int timeout_ms) {
    const bool forever = timeout_ms < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeout_ms);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        uint32_t which = 0;
        if (ready_any(ids, which))
            return which;
        bool waiting = false;
        for (uint32_t id : ids)
            waiting = waiting || m_outstanding.count(id) != 0;
        int slice = remaining_ms(forever, deadline);
        if (!waiting || slice == 0)
            return 0;
        pump(lock, slice);
    }
}

bool ControlClient::ready_any(std::span<const uint32_t> ids, uint32_t& which) const {
    for (uint32_t id : ids)
        if (id != 0 && m_ready.count(id)) {
            which = id;
            return true;
        }
    return false;
}

bool ControlClient::send_frame(const Bytes& bytes) {
    if (bytes.empty())
        return false;
    std::lock_guard<std::mutex> send_lock(m_send_mutex);
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n =
            ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Keep reading replies meanwhile, or a daemon whose reply queue to us is
            // full would stop reading and neither side would move.
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                pump(lock, 0);
                if (m_broken)
                    return false;
            }
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        return false;
    }
    return true;
}

// Reads what arrives within timeout_ms and files the replies; called with the lock held.
// Only one thread reads at a time; the others wait for it.
void ControlClient::pump(std::unique_lock<std::mutex>& lock, int timeout_ms) {
    if (m_broken || m_fd < 0)
        return;
    if (m_reading) {
        m_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms));
        return;
    }
    m_reading = true;
    lock.unlock();

    bool lost = false;
    pollfd p{m_fd, POLLIN, 0};
    int rc = ::poll(&p, 1, timeout_ms);
    if (rc > 0) {
        uint8_t chunk[64 * 1024];
        for (;;) {
            ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                m_in.insert(m_in.end(), chunk, chunk + n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                lost = true;
            break;
        }
    }

    lock.lock();
    size_t start = 0;
    for (;;) {
        ReplyFrame frame;
        size_t used = 0;
        Decode d = decode_reply(std::span<const uint8_t>(m_in).subspan(start), frame, used);
        if (d == Decode::NeedMore)
            break;
        if (d == Decode::Malformed) {
            lost = true;
            break;
        }
        start += used;
        auto it = m_outstanding.find(frame.id);
        if (it != m_outstanding.end()) {
            const Outstanding sent = it->second;
            m_outstanding.erase(it);
            Reply& r = m_ready[frame.id];
            r.status = frame.status;
            r.information = frame.information;
            r.system_buffer = std::move(frame.system_buffer);
            r.output = std::move(frame.output);
            if ((sent.code & 3) == 0 && r.output.empty() && status_succeeded(r.status)) {
                const size_t n =
                    std::min<size_t>({r.system_buffer.size(), r.information, sent.output_capacity});
                r.output.assign(r.system_buffer.begin(), r.system_buffer.begin() + n);
            }
        }
    }
    m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(start));
    if (lost) {
        m_broken = true;
        m_in.clear();
        fail_outstanding(kStatusPipeBroken);
    }
    m_reading = false;
    m_cv.notify_all();
}

void ControlClient::fail_outstanding(uint32_t status) {
    for (const auto& [id, sent] : m_outstanding)
        m_ready[id].status = status;
    m_outstanding.clear();
}

} // namespace quellin::ctlsock
