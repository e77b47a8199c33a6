// The server side of the control device: a Unix stream socket that takes request frames,
// hands each request to a handler and sends the replies back. Single-threaded: every call,
// and every handler call, happens on the thread of the event loop that owns the watcher.
#pragma once

#include "ControlSocket/FdWatcher.h"
#include "ControlSocket/Frame.h"

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quellin::ctlsock {

class SocketFile;

// Names one request for as long as it is pending; never reused by a server.
using RequestToken = uint64_t;

struct Request {
    RequestToken token = 0;
    uint32_t code = 0;
    Bytes input;
    uint32_t output_capacity = 0;
    int32_t client_pid = 0;  // the process at the other end (0 when unknown)
    uint64_t connection = 0; // names the connection the request came on
};

struct Completion {
    uint32_t status = 0;
    uint32_t information = 0; // byte count
    Bytes system_buffer;
    Bytes output; // cut to the request's output capacity
};

class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    // A request arrived. Return its completion to answer at once, or nothing to keep it
    // pending until ControlServer::complete is called with its token.
    virtual std::optional<Completion> on_request(const Request& request) = 0;
    // The connection of a pending request closed: the token is dead, forget it.
    virtual void on_discarded(RequestToken token) = 0;
};

// What one client may hold of the server. A connection holds at most a partial request
// frame and its read chunk (about 600 KiB) and `max_held_bytes` of unsent replies.
struct ServerLimits {
    // Connections open at once; one more is accepted and closed at once.
    size_t max_connections = 32;
    // Unsent reply bytes above which a connection's requests are no longer read.
    size_t max_queued_bytes = 256 * 1024;
    // Unsent reply bytes a connection may hold: a reply that would pass them closes it
    // (a client that never reads). Room for the largest reply above the read limit.
    size_t max_held_bytes = 256 * 1024 + kLengthBytes + kMaxReplyBody;
    // A connection holding part of a frame and sending nothing for this long is closed.
    uint32_t partial_frame_timeout_ms = 10000;
};

class ControlServer {
public:
    ControlServer(FdWatcher& watcher, RequestHandler& handler, ServerLimits limits = {});
    ~ControlServer(); // closes everything without calling the handler; removes the socket
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket at path (missing folders made with mode 0755, the socket 0660,
    // whatever the umask) and starts accepting. A stale socket file is replaced; a live
    // one, or anything else, is refused. On failure gives false and a message in error.
    bool listen(const std::string& path, std::string* error = nullptr);
    // Closes every connection (discarding pending requests through the handler) and
    // removes the socket.
    void close();

    // Answers a pending request. false when the token is not pending (its connection is
    // gone or it was answered already).
    bool complete(RequestToken token, Completion completion);

    const std::string& path() const { return m_path; }
    size_t connection_count() const { return m_connections.size(); }
    size_t pending_count() const { return m_pending.size(); }
    // Whether new connections are being taken (not paused for want of descriptors).
    bool accepting() const { return m_listen_fd >= 0 && !m_accept_paused; }

private:
    struct Connection {
        uint64_t id = 0;
        int fd = -1;
        Bytes in;
        size_t in_start = 0;
        std::deque<Bytes> out;
        size_t out_offset = 0;
        size_t queued = 0;
        uint32_t events = 0;
        bool failed = false;
        int32_t pid = -1; // the peer's process id, asked once; -1 until then
        std::map<uint32_t, RequestToken> pending; // request id -> token
        // In m_partial while part of a frame waits, with the time it may wait until.
        bool partial = false;
        std::list<uint64_t>::iterator partial_at;
        uint64_t partial_deadline_ms = 0;
    };
    struct Pending {
        uint64_t connection = 0;
        uint32_t request_id = 0;
        uint32_t output_capacity = 0;
    };

    void on_accept();
    // Out of descriptors: the reserve descriptor makes room to take one waiting connection
    // (`took`) and close it. false when the reserve is gone and cannot be made again; the
    // listener is then not watched until a descriptor frees.
    bool shed_one_connection(bool& took);
    void pause_accepting();
    void resume_accepting();
    void on_connection_event(uint64_t id, uint32_t events);
    void read_from(Connection& c);
    void parse(Connection& c);
    void dispatch(Connection& c, RequestFrame&& frame);
    void queue_reply(Connection& c, const ReplyFrame& reply);
    void flush(Connection& c);
    void update_events(Connection& c);
    // Marks a connection to be dropped by reap_failed, after the event that found it.
    void fail(Connection& c);
    void drop(uint64_t id, bool tell_handler);
    // Drops every connection and stops listening, removing the socket file.
    void shut_down(bool tell_handler);
    void reap_failed();
    // Keeps the connection in, or takes it out of, the partial frames' time-out order.
    void track_partial(Connection& c);
    void untrack_partial(Connection& c);
    void on_timer();
    void arm_timer();

    FdWatcher& m_watcher;
    RequestHandler& m_handler;
    ServerLimits m_limits;
    std::string m_path;
    std::unique_ptr<SocketFile> m_file;
    int m_listen_fd = -1;
    int m_reserve_fd = -1;
    int m_timer_fd = -1;
    bool m_accept_paused = false;
    int m_events = 0;               // the server's own event handlers running
    std::vector<uint64_t> m_failed; // connections to drop
    std::list<uint64_t> m_partial;  // connections holding part of a frame, oldest first
    uint64_t m_next_connection = 1;
    RequestToken m_next_token = 1;
    std::map<uint64_t, std::unique_ptr<Connection>> m_connections;
    std::unordered_map<RequestToken, Pending> m_pending;
};

} // namespace quellin::ctlsock
