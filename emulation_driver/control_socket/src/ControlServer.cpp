#include "ControlSocket/ControlServer.h"

#include "ControlSocket/Status.h"
#include "SocketFile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace quellin::ctlsock {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kReadBudget = 256 * 1024; // per event, so one client cannot hold the loop
constexpr uint32_t kReadEvents = EPOLLIN | EPOLLRDHUP;
constexpr uint64_t kAcceptRetryMs = 1000; // while out of descriptors

std::string errno_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

uint64_t now_ms() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

int open_reserve() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Counts the server's own event handlers running (a handler may call the owner, which may
// call back).
class EventScope {
public:
    explicit EventScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~EventScope() { --m_depth; }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

private:
    int& m_depth;
};

} // namespace

ControlServer::ControlServer(FdWatcher& watcher, RequestHandler& handler, ServerLimits limits)
    : m_watcher(watcher), m_handler(handler), m_limits(limits) {}

ControlServer::~ControlServer() {
    shut_down(false);
}

bool ControlServer::listen(const std::string& path, std::string* error) {
    std::string text;
    auto fail = [&](const std::string& message) {
        if (error)
            *error = message;
        shut_down(false);
        return false;
    };
    if (m_listen_fd >= 0) {
        if (error)
            *error = "already listening on " + m_path;
        return false;
    }

    m_listen_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen_fd < 0)
        return fail(errno_text("socket"));
    m_file = std::make_unique<SocketFile>();
    if (!m_file->bind(m_listen_fd, path, text))
        return fail(text);
    m_path = path;
    m_reserve_fd = open_reserve();
    m_timer_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_reserve_fd < 0 || m_timer_fd < 0)
        return fail(errno_text("descriptors for " + path));
    if (::listen(m_listen_fd, 16) != 0)
        return fail(errno_text("listen " + path));
    if (!m_watcher.watch(m_timer_fd, EPOLLIN, [this](uint32_t) { on_timer(); }))
        return fail("cannot watch the control socket's timer");
    if (!m_watcher.watch(m_listen_fd, EPOLLIN, [this](uint32_t) { on_accept(); })) {
        m_watcher.unwatch(m_timer_fd);
        return fail("cannot watch the control socket");
    }
    return true;
}

void ControlServer::close() {
    shut_down(true);
}

void ControlServer::shut_down(bool tell_handler) {
    while (!m_connections.empty())
        drop(m_connections.begin()->first, tell_handler);
    m_failed.clear();
    if (m_listen_fd >= 0) {
        m_watcher.unwatch(m_listen_fd);
        ::close(m_listen_fd);
        m_listen_fd = -1;
    }
    if (m_timer_fd >= 0) {
        m_watcher.unwatch(m_timer_fd);
        ::close(m_timer_fd);
        m_timer_fd = -1;
    }
    if (m_reserve_fd >= 0) {
        ::close(m_reserve_fd);
        m_reserve_fd = -1;
    }
    if (m_file)
        m_file->remove();
    m_file.reset();
    m_accept_paused = false;
}

void ControlServer::on_accept() {
    EventScope scope(m_events);
    for (;;) {
        int fd = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED)
                continue;
            if (error != EMFILE && error != ENFILE)
                break; // EAGAIN: nothing more waits
            // The listener stays readable while the table is full: take the waiting
            // connection with the reserve and close it, or stop watching the listener.
            bool took = false;
            if (!shed_one_connection(took)) {
                pause_accepting();
                break;
            }
            if (took)
                continue;
            break;
        }
        if (m_connections.size() >= m_limits.max_connections) {
            ::close(fd); // the caller sees its connection closed
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->id = m_next_connection++;
        c->fd = fd;
        c->events = kReadEvents;
        const uint64_t id = c->id;
        if (!m_watcher.watch(fd, kReadEvents,
                             [this, id](uint32_t events) { on_connection_event(id, events); })) {
            ::close(fd);
            continue;
        }
        m_connections.emplace(id, std::move(c));
    }
    reap_failed();
}

bool ControlServer::shed_one_connection(bool& took) {
    took = false;
    if (m_reserve_fd < 0)
        return false;
    ::close(m_reserve_fd);
    const int fd = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        took = true;
    }
    m_reserve_fd = open_reserve();
    return m_reserve_fd >= 0;
}

void ControlServer::pause_accepting() {
    if (m_accept_paused || m_listen_fd < 0)
        return;
    m_accept_paused = m_watcher.change(m_listen_fd, 0);
    arm_timer();
}

void ControlServer::resume_accepting() {
    if (!m_accept_paused)
        return;
    if (m_reserve_fd < 0)
        m_reserve_fd = open_reserve();
    if (m_reserve_fd < 0 || !m_watcher.change(m_listen_fd, EPOLLIN))
        return; // still no room: the timer tries again
    m_accept_paused = false;
}

void ControlServer::on_connection_event(uint64_t id, uint32_t events) {
    EventScope scope(m_events);
    auto it = m_connections.find(id);
    if (it != m_connections.end()) {
        Connection& c = *it->second;
        if (events & EPOLLERR)
            fail(c);
        if (!c.failed && (events & EPOLLOUT)) {
            flush(c);
            // Whole frames read ahead while the replies waited are served now: no further
            // readable event may come for them.
            if (!c.failed && c.queued <= m_limits.max_queued_bytes && c.in_start < c.in.size()) {
                parse(c);
                track_partial(c);
            }
        }
        if (!c.failed && (events & (EPOLLIN | EPOLLHUP | EPOLLRDHUP))) {
            if (c.queued > m_limits.max_queued_bytes) {
                if (events & EPOLLHUP)
                    fail(c);
            } else {
                read_from(c);
            }
        }
        if (!c.failed)
            update_events(c);
    }
    reap_failed();
}

void ControlServer::read_from(Connection& c) {
    uint8_t chunk[kReadChunk];
    size_t total = 0;
    while (total < kReadBudget && !c.failed && c.queued <= m_limits.max_queued_bytes) {
        ssize_t n = ::recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            c.in.insert(c.in.end(), chunk, chunk + n);
            total += static_cast<size_t>(n);
            parse(c);
            continue;
        }
        if (n == 0) {
            fail(c); // the peer closed; a partial frame left is dropped with it
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            fail(c);
        break;
    }
    if (!c.failed && total > 0)
        track_partial(c);
}

void ControlServer::parse(Connection& c) {
    while (!c.failed && c.queued <= m_limits.max_queued_bytes) {
        RequestFrame frame;
        size_t used = 0;
        std::span<const uint8_t> data(c.in.data() + c.in_start, c.in.size() - c.in_start);
        Decode d = decode_request(data, frame, used);
        if (d == Decode::NeedMore)
            break;
        if (d == Decode::Malformed) {
            fail(c); // a length out of bounds: the stream cannot be followed
            break;
        }
        c.in_start += used;
        dispatch(c, std::move(frame));
    }
    if (c.in_start == c.in.size()) {
        // Nothing waits: a buffer grown for a large frame is given back.
        if (c.in.capacity() > 2 * kReadChunk)
            Bytes().swap(c.in);
        c.in.clear();
        c.in_start = 0;
    } else if (c.in_start >= kReadChunk) {
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(c.in_start));
        c.in_start = 0;
    }
}

void ControlServer::dispatch(Connection& c, RequestFrame&& frame) {
    if (frame.output_capacity > kMaxOutputBytes || c.pending.count(frame.id)) {
        ReplyFrame reply;
        reply.id = frame.id;
        reply.status = kStatusInvalidParameter;
        queue_reply(c, reply);
        return;
    }
    const RequestToken token = m_next_token++;
    m_pending.emplace(token, Pending{c.id, frame.id, frame.output_capacity});
    c.pending.emplace(frame.id, token);

    Request request;
    request.token = token;
    request.code = frame.code;
    request.input = std::move(frame.input);
    request.output_capacity = frame.output_capacity;
    if (c.pid < 0) {
        ucred peer{};
        socklen_t size = sizeof peer;
        c.pid = ::getsockopt(c.fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 ? peer.pid : 0;
    }
    request.client_pid = c.pid;
    request.connection = c.id;
    std::optional<Completion> done = m_handler.on_request(request);
    if (done)
        complete(token, std::move(*done));
}

bool ControlServer::complete(RequestToken token, Completion completion) {
    auto it = m_pending.find(token);
    if (it == m_pending.end())
        return false;
    const Pending p = it->second;
    m_pending.erase(it);
    auto cit = m_connections.find(p.connection);
    if (cit == m_connections.end())
        return false;
    Connection& c = *cit->second;
    c.pending.erase(p.request_id);
    if (c.failed)
        return true;

    ReplyFrame reply;
    reply.id = p.request_id;
    reply.status = completion.status;
    reply.information = completion.information;
    reply.system_buffer = std::move(completion.system_buffer);
    reply.output = std::move(completion.output);
    if (reply.output.size() > p.output_capacity)
        reply.output.resize(p.output_capacity);
    if (reply.system_buffer.size() > kMaxSystemBufferBytes)
        reply.system_buffer.resize(kMaxSystemBufferBytes);
    queue_reply(c, reply);
    return true;
}

void ControlServer::queue_reply(Connection& c, const ReplyFrame& reply) {
    Bytes bytes = encode_reply(reply);
    if (c.queued + bytes.size() > m_limits.max_held_bytes) {
        fail(c); // a client that does not read its replies is not kept in memory
        return;
    }
    c.queued += bytes.size();
    c.out.push_back(std::move(bytes));
    flush(c);
}

void ControlServer::flush(Connection& c) {
    while (!c.out.empty() && !c.failed) {
        Bytes& front = c.out.front();
        ssize_t n = ::send(c.fd, front.data() + c.out_offset, front.size() - c.out_offset,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.out_offset += static_cast<size_t>(n);
            c.queued -= static_cast<size_t>(n);
            if (c.out_offset == front.size()) {
                c.out.pop_front();
                c.out_offset = 0;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        fail(c); // the peer is gone
    }
    update_events(c);
}

void ControlServer::update_events(Connection& c) {
    if (c.failed)
        return;
    uint32_t events = (c.queued > m_limits.max_queued_bytes ? 0u : kReadEvents) |
                      (c.out.empty() ? 0u : static_cast<uint32_t>(EPOLLOUT));
    if (events != c.events && m_watcher.change(c.fd, events))
        c.events = events;
}

void ControlServer::fail(Connection& c) {
    if (c.failed)
        return;
    c.failed = true;
    m_failed.push_back(c.id);
    // Outside the server's own events (a completion from its owner) no event may come for
    // the connection: the timer reaps it at once.
    if (m_events == 0)
        arm_timer();
}

void ControlServer::drop(uint64_t id, bool tell_handler) {
    auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> c = std::move(it->second);
    m_connections.erase(it);
    untrack_partial(*c);
    m_watcher.unwatch(c->fd);
    ::close(c->fd);
    resume_accepting(); // a descriptor is free again
    std::vector<RequestToken> tokens;
    for (const auto& [request_id, token] : c->pending) {
        m_pending.erase(token);
        tokens.push_back(token);
    }
    if (tell_handler)
        for (RequestToken token : tokens)
            m_handler.on_discarded(token);
}

void ControlServer::reap_failed() {
    // Only the connections that failed, however many are open.
    while (!m_failed.empty()) {
        std::vector<uint64_t> failed;
        failed.swap(m_failed);
        for (uint64_t id : failed)
            drop(id, true);
    }
}

void ControlServer::track_partial(Connection& c) {
    if (c.in_start == c.in.size()) {
        untrack_partial(c);
        return;
    }
    // Every byte that arrives starts the wait afresh: the order stays oldest first.
    if (c.partial)
        m_partial.splice(m_partial.end(), m_partial, c.partial_at);
    else
        c.partial_at = m_partial.insert(m_partial.end(), c.id);
    const bool first = !c.partial && m_partial.size() == 1;
    c.partial = true;
    c.partial_deadline_ms = now_ms() + m_limits.partial_frame_timeout_ms;
    if (first)
        arm_timer();
}

void ControlServer::untrack_partial(Connection& c) {
    if (!c.partial)
        return;
    m_partial.erase(c.partial_at);
    c.partial = false;
}

void ControlServer::on_timer() {
    EventScope scope(m_events);
    uint64_t expirations;
    (void)!::read(m_timer_fd, &expirations, sizeof expirations);
    const uint64_t now = now_ms();
    while (!m_partial.empty()) {
        auto it = m_connections.find(m_partial.front());
        if (it == m_connections.end()) {
            m_partial.pop_front();
            continue;
        }
        Connection& c = *it->second;
        if (c.partial_deadline_ms > now)
            break;
        if (c.queued > m_limits.max_queued_bytes) {
            // Not read because its replies wait: the wait is the server's, not the client's.
            c.partial_deadline_ms = now + m_limits.partial_frame_timeout_ms;
            m_partial.splice(m_partial.end(), m_partial, c.partial_at);
            continue;
        }
        untrack_partial(c);
        fail(c);
    }
    resume_accepting();
    reap_failed();
    arm_timer();
}

void ControlServer::arm_timer() {
    if (m_timer_fd < 0)
        return;
    uint64_t deadline = 0;
    if (!m_failed.empty())
        deadline = now_ms(); // at once
    else if (!m_partial.empty()) {
        auto it = m_connections.find(m_partial.front());
        if (it != m_connections.end())
            deadline = it->second->partial_deadline_ms;
    }
    if (m_accept_paused) {
        const uint64_t retry = now_ms() + kAcceptRetryMs;
        deadline = deadline == 0 ? retry : std::min(deadline, retry);
    }
    itimerspec spec{};
    if (deadline != 0) {
        const uint64_t now = now_ms();
        const uint64_t wait = deadline > now ? deadline - now : 1;
        spec.it_value.tv_sec = static_cast<time_t>(wait / 1000);
        spec.it_value.tv_nsec = static_cast<long>(wait % 1000) * 1000000;
    }
    ::timerfd_settime(m_timer_fd, 0, &spec, nullptr); // zero disarms
}

} // namespace quellin::ctlsock
