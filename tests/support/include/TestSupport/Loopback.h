// TCP sockets on 127.0.0.1 at a port the system picks, for servers and refused
// connections in tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

struct LoopbackSocket {
    int fd = -1;
    int port = 0;
};

// A TCP socket of the given `flags` (SOCK_CLOEXEC, SOCK_NONBLOCK) bound to 127.0.0.1,
// listening with `backlog` unless it is 0; throws when the system refuses any step.
inline LoopbackSocket bind_loopback(int flags, int backlog) {
    LoopbackSocket s;
    s.fd = ::socket(AF_INET, SOCK_STREAM | flags, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (s.fd < 0 || ::bind(s.fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        (backlog > 0 && ::listen(s.fd, backlog) != 0) ||
        ::getsockname(s.fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (s.fd >= 0)
            ::close(s.fd);
        throw std::runtime_error("no loopback socket");
    }
    s.port = ntohs(address.sin_port);
    return s;
}

// A loopback port that nothing listens on: a connection to it is refused.
inline int closed_loopback_port() {
    const LoopbackSocket s = bind_loopback(0, 0);
    ::close(s.fd);
    return s.port;
}

} // namespace testsupport
