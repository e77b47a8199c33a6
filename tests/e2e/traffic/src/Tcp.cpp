#include "Traffic/Modes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace traffic {

namespace {

constexpr int kDefaultPort = 47001;
constexpr std::size_t kChunk = 128 * 1024;

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {
        if (m_fd < 0)
            throw std::runtime_error(std::string("socket: ") + strerror(errno));
    }
    ~Fd() { ::close(m_fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

int wait_ms(int64_t deadlineNs) {
    int64_t left = (deadlineNs - monotonic_ns()) / 1000000;
    return static_cast<int>(std::clamp<int64_t>(left, 0, 100));
}

} // namespace

int tcp_receive(const Options& opts) {
    const int port = static_cast<int>(opts.number("port", kDefaultPort));
    const int64_t deadline = monotonic_ns() + opts.number("timeout-ms", 30000) * 1000000;
    sockaddr_storage local{};
    socklen_t len = make_address(opts.text("bind"), port, &local);
    Fd lsock(::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    int on = 1;
    ::setsockopt(lsock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (local.ss_family == AF_INET6)
        ::setsockopt(lsock.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(lsock.fd(), reinterpret_cast<sockaddr*>(&local), len) != 0 ||
        ::listen(lsock.fd(), 1) != 0)
        throw std::runtime_error(std::string("bind/listen: ") + strerror(errno));
    std::printf("ready proto=tcp port=%d\n", port);
    std::fflush(stdout);

    int conn = -1;
    while (conn < 0 && monotonic_ns() < deadline) {
        pollfd pfd{lsock.fd(), POLLIN, 0};
        if (::poll(&pfd, 1, wait_ms(deadline)) > 0)
            conn = ::accept4(lsock.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    }
    uint64_t bytes = 0;
    int64_t first = 0;
    int64_t last = 0;
    bool eof = false;
    if (conn >= 0) {
        Fd c(conn);
        std::vector<char> buf(kChunk);
        while (!eof && monotonic_ns() < deadline) {
            pollfd pfd{c.fd(), POLLIN, 0};
            if (::poll(&pfd, 1, wait_ms(deadline)) <= 0)
                continue;
            for (int round = 0; round < 64; ++round) {
                ssize_t got = ::read(c.fd(), buf.data(), buf.size());
                if (got > 0) {
                    last = monotonic_ns();
                    if (!first)
                        first = last;
                    bytes += static_cast<uint64_t>(got);
                    continue;
                }
                if (got == 0 || (errno != EAGAIN && errno != EINTR))
                    eof = true;
                break;
            }
        }
    }
    double secs = static_cast<double>(last - first) / 1e9;
    std::printf("tcp-recv bytes=%llu complete=%d duration_s=%.6f throughput_bps=%.0f\n",
                static_cast<unsigned long long>(bytes), eof ? 1 : 0, secs,
                secs > 0 ? static_cast<double>(bytes) * 8.0 / secs : 0.0);
    std::fflush(stdout);
    return conn >= 0 ? 0 : 3;
}

int tcp_send(const Options& opts) {
    const int port = static_cast<int>(opts.number("port", kDefaultPort));
    const uint64_t total = static_cast<uint64_t>(opts.number("bytes", 10 << 20));
    const int64_t start = monotonic_ns();
    const int64_t deadline = start + opts.number("duration-ms", 10000) * 1000000;
    sockaddr_storage peer{};
    socklen_t len = make_address(opts.text("to"), port, &peer);
    Fd sock(::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (::connect(sock.fd(), reinterpret_cast<sockaddr*>(&peer), len) != 0 && errno != EINPROGRESS)
        throw std::runtime_error(std::string("connect: ") + strerror(errno));
    bool connected = false;
    while (!connected && monotonic_ns() < deadline) {
        pollfd pfd{sock.fd(), POLLOUT, 0};
        if (::poll(&pfd, 1, wait_ms(deadline)) <= 0)
            continue;
        int err = 0;
        socklen_t elen = sizeof err;
        ::getsockopt(sock.fd(), SOL_SOCKET, SO_ERROR, &err, &elen);
        if (err)
            throw std::runtime_error(std::string("connect: ") + strerror(err));
        connected = true;
    }
    if (!connected)
        throw std::runtime_error("connect timed out");

    std::vector<char> buf(kChunk);
    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<char>(i * 13 + 1);
    uint64_t sent = 0;
    const int64_t begin = monotonic_ns();
    while (sent < total && monotonic_ns() < deadline) {
        pollfd pfd{sock.fd(), POLLOUT, 0};
        if (::poll(&pfd, 1, wait_ms(deadline)) <= 0)
            continue;
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(buf.size(), total - sent));
        ssize_t put = ::send(sock.fd(), buf.data(), n, MSG_NOSIGNAL);
        if (put > 0)
            sent += static_cast<uint64_t>(put);
        else if (put < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error(std::string("send: ") + strerror(errno));
    }
    ::shutdown(sock.fd(), SHUT_WR);
    // Wait for the peer to close, so that the data is through before we report.
    char sink[4096];
    while (monotonic_ns() < deadline) {
        pollfd pfd{sock.fd(), POLLIN, 0};
        if (::poll(&pfd, 1, wait_ms(deadline)) <= 0)
            continue;
        ssize_t got = ::read(sock.fd(), sink, sizeof sink);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }
    double secs = static_cast<double>(monotonic_ns() - begin) / 1e9;
    std::printf("tcp-send bytes=%llu complete=%d duration_s=%.6f throughput_bps=%.0f\n",
                static_cast<unsigned long long>(sent), sent == total ? 1 : 0, secs,
                secs > 0 ? static_cast<double>(sent) * 8.0 / secs : 0.0);
    std::fflush(stdout);
    return 0;
}

} // namespace traffic
