// A raw TCP server on 127.0.0.1 that answers every connection as a test scripts it:
// replies no honest HTTP server gives (bodies without end, header blocks that never end,
// bytes dripped slowly). Each connection runs the script on a thread of its own; every
// loop of a script is bounded by the server's stop and by the bytes it may send.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class HostileHttpServer {
public:
    using Script = std::function<void(HostileHttpServer& server, int fd)>;

    explicit HostileHttpServer(Script script) : m_script(std::move(script)) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("no loopback listener");
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { Accept(); });
    }

    // Stops: every script's next send or wait fails, and the threads are joined.
    ~HostileHttpServer() {
        m_stopping = true;
        m_acceptor.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::thread& t : m_connections)
            t.join();
        ::close(m_listen);
    }
    HostileHttpServer(const HostileHttpServer&) = delete;
    HostileHttpServer& operator=(const HostileHttpServer&) = delete;

    int port() const { return m_port; }
    std::string host_port() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::string url(const std::string& path) const { return "http://" + host_port() + path; }
    bool stopping() const { return m_stopping; }
    // Bytes the scripts have sent so far, over every connection.
    uint64_t sent() const { return m_sent; }

    // Reads the request up to its blank line (at most 64 KiB); false when the peer went.
    bool ReadRequest(int fd) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            if (!Wait(fd, POLLIN))
                return false;
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            head.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    // Sends every byte; false once the peer is gone or the server stops.
    bool Send(int fd, const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            if (!Wait(fd, POLLOUT))
                return false;
            ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
            m_sent += static_cast<uint64_t>(n);
        }
        return true;
    }

    // Waits up to `ms` unless the server stops first; false when it stopped.
    bool Pause(int ms) {
        for (int waited = 0; waited < ms && !m_stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !m_stopping;
    }

private:
    bool Wait(int fd, short events) {
        while (!m_stopping) {
            pollfd p{fd, events, 0};
            int rc = ::poll(&p, 1, 50);
            if (rc > 0)
                return (p.revents & (POLLERR | POLLNVAL)) == 0 &&
                       ((p.revents & events) != 0 || (p.revents & POLLHUP) == 0);
            if (rc < 0 && errno != EINTR)
                return false;
        }
        return false;
    }

    void Accept() {
        while (!m_stopping) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_connections.emplace_back([this, fd] {
                m_script(*this, fd);
                ::close(fd);
            });
        }
    }

    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<uint64_t> m_sent{0};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<std::thread> m_connections;
};

} // namespace testsupport
