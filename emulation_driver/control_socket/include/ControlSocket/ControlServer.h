// The server side of the control device: a Unix stream socket that takes request frames,
// hands each request to a handler and sends the replies back. Single-threaded: every call,
// and every handler call, happens on the thread of the event loop that owns the watcher.
#pragma once

#include "ControlSocket/FdWatcher.h"
#include "ControlSocket/Frame.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace quellin::ctlsock {

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

class ControlServer {
public:
    // Reply bytes queued for one connection above which its requests are no longer read.
    static constexpr size_t kMaxQueuedBytes = 4 * 1024 * 1024;

    ControlServer(FdWatcher& watcher, RequestHandler& handler);
    ~ControlServer(); // closes everything without calling the handler; removes the socket
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket at path (its folder made when missing; mode 0660) and starts
    // accepting. A stale socket file is replaced; a live one is refused. On failure gives
    // false and a message in error.
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
    };
    struct Pending {
        uint64_t connection = 0;
        uint32_t request_id = 0;
        uint32_t output_capacity = 0;
    };

    void on_accept();
    void on_connection_event(uint64_t id, uint32_t events);
    void read_from(Connection& c);
    void parse(Connection& c);
    void dispatch(Connection& c, RequestFrame&& frame);
    void queue_reply(Connection& c, const ReplyFrame& reply);
    void flush(Connection& c);
    void update_events(Connection& c);
    void drop(uint64_t id, bool tell_handler);
    // Drops every connection and stops listening, removing the socket file.
    void shut_down(bool tell_handler);
    void reap_failed();

    FdWatcher& m_watcher;
    RequestHandler& m_handler;
    std::string m_path;
    int m_listen_fd = -1;
    uint64_t m_next_connection = 1;
    RequestToken m_next_token = 1;
    std::map<uint64_t, std::unique_ptr<Connection>> m_connections;
    std::unordered_map<RequestToken, Pending> m_pending;
};

} // namespace quellin::ctlsock
