#include "ControlSocket/ControlServer.h"

#include "ControlSocket/Status.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace quellin::ctlsock {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kReadBudget = 256 * 1024; // per event, so one client cannot hold the loop
constexpr uint32_t kReadEvents = EPOLLIN | EPOLLRDHUP;

bool make_address(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string errno_text(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A socket file nobody listens on is left over from an earlier run.
bool is_stale_socket(const std::string& path, const sockaddr_un& addr) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool live = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return !live;
}

} // namespace

ControlServer::ControlServer(FdWatcher& watcher, RequestHandler& handler)
    : m_watcher(watcher), m_handler(handler) {}

ControlServer::~ControlServer() {
    shut_down(false);
}

bool ControlServer::listen(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_listen_fd >= 0)
        return fail("already listening on " + m_path);
    sockaddr_un addr;
    if (!make_address(path, addr))
        return fail("bad socket path '" + path + "'");

    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec)
            return fail("cannot make " + folder.string() + ": " + ec.message());
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        if (!is_stale_socket(path, addr))
            return fail(path + " is in use");
        ::unlink(path.c_str());
    }

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(errno_text("socket"));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        std::string text = errno_text("bind " + path);
        ::close(fd);
        return fail(text);
    }
    if (::chmod(path.c_str(), 0660) != 0 || ::listen(fd, 16) != 0) {
        std::string text = errno_text("listen " + path);
        ::close(fd);
        ::unlink(path.c_str());
        return fail(text);
    }
    if (!m_watcher.watch(fd, EPOLLIN, [this](uint32_t) { on_accept(); })) {
        ::close(fd);
        ::unlink(path.c_str());
        return fail("cannot watch the control socket");
    }
    m_listen_fd = fd;
    m_path = path;
    return true;
}

void ControlServer::close() {
    shut_down(true);
}

void ControlServer::shut_down(bool tell_handler) {
    while (!m_connections.empty())
        drop(m_connections.begin()->first, tell_handler);
    if (m_listen_fd >= 0) {
        m_watcher.unwatch(m_listen_fd);
        ::close(m_listen_fd);
        ::unlink(m_path.c_str());
        m_listen_fd = -1;
    }
}

void ControlServer::on_accept() {
    reap_failed();
    for (;;) {
        int fd = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // EAGAIN, or out of descriptors: try again on the next event
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
}

void ControlServer::on_connection_event(uint64_t id, uint32_t events) {
    auto it = m_connections.find(id);
    if (it != m_connections.end()) {
        Connection& c = *it->second;
        if (events & EPOLLERR)
            c.failed = true;
        if (!c.failed && (events & EPOLLOUT))
            flush(c);
        if (!c.failed && (events & (EPOLLIN | EPOLLHUP | EPOLLRDHUP))) {
            if (c.queued > kMaxQueuedBytes) {
                if (events & EPOLLHUP)
                    c.failed = true;
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
    while (total < kReadBudget && !c.failed && c.queued <= kMaxQueuedBytes) {
        ssize_t n = ::recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            c.in.insert(c.in.end(), chunk, chunk + n);
            total += static_cast<size_t>(n);
            parse(c);
            continue;
        }
        if (n == 0) {
            c.failed = true; // the peer closed; a partial frame left is dropped with it
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            c.failed = true;
        break;
    }
}

void ControlServer::parse(Connection& c) {
    while (!c.failed && c.queued <= kMaxQueuedBytes) {
        RequestFrame frame;
        size_t used = 0;
        std::span<const uint8_t> data(c.in.data() + c.in_start, c.in.size() - c.in_start);
        Decode d = decode_request(data, frame, used);
        if (d == Decode::NeedMore)
            break;
        if (d == Decode::Malformed) {
            c.failed = true; // a length out of bounds: the stream cannot be followed
            break;
        }
        c.in_start += used;
        dispatch(c, std::move(frame));
    }
    if (c.in_start == c.in.size()) {
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
        c.failed = true; // the peer is gone; the hang-up event reaps the connection
    }
    update_events(c);
}

void ControlServer::update_events(Connection& c) {
    if (c.failed)
        return;
    uint32_t events = (c.queued > kMaxQueuedBytes ? 0u : kReadEvents) |
                      (c.out.empty() ? 0u : static_cast<uint32_t>(EPOLLOUT));
    if (events != c.events && m_watcher.change(c.fd, events))
        c.events = events;
}

void ControlServer::drop(uint64_t id, bool tell_handler) {
    auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> c = std::move(it->second);
    m_connections.erase(it);
    m_watcher.unwatch(c->fd);
    ::close(c->fd);
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
    std::vector<uint64_t> failed;
    for (const auto& [id, c] : m_connections)
        if (c->failed)
            failed.push_back(id);
    for (uint64_t id : failed)
        drop(id, true);
}

} // namespace quellin::ctlsock
