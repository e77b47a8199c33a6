// Traffic for the offload tests between the test's own namespace (the station, behind the
// TAP) and a network namespace behind the lower interface: TCP bulk flows whose every byte
// is checked, UDP sends the kernel hands over as one super-frame, and a capture of what
// reaches the network side.
#pragma once

#include "QuellinEdges/Namespaces.h"

#include "OffloadFrames.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quellin::edges_test {

// Runs `f` in the named network namespace, on the calling thread; what it makes (sockets)
// stays in that namespace.
template <class F>
auto in_netns(const std::string& name, F f) {
    const int fd = open_named_netns(name);
    if (fd < 0)
        throw std::runtime_error("no namespace " + name);
    NetnsScope in(fd);
    ::close(fd);
    if (!in.entered())
        throw std::runtime_error("cannot enter " + name);
    return f();
}

inline sockaddr_storage socket_address(const std::string& address, int port) {
    sockaddr_storage s{};
    if (address.find(':') != std::string::npos) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&s);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET6, address.c_str(), &a->sin6_addr);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&s);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &a->sin_addr);
    }
    return s;
}

inline void set_timeout(int fd, int option, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

inline uint8_t pattern(uint64_t offset) {
    return static_cast<uint8_t>(offset % 251);
}

// TCP connections to `address`:`port`, each carrying `bytes` (0: until stopped) of a
// pattern the receiver checks byte by byte: from the station to the network namespace, or
// the other way round. The listener is made at once; the threads need the edges' loop
// running to get anywhere.
class TcpFlows {
public:
    enum Direction { FromStation, ToStation };

    TcpFlows(const std::string& network, const std::string& address, int port, int connections,
             uint64_t bytes, Direction direction = FromStation)
        : m_bytes(bytes) {
        const auto where = socket_address(address, port);
        auto listen = [&] {
            const int fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
                ::listen(fd, connections) != 0)
                throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
            return fd;
        };
        m_listener = direction == FromStation ? in_netns(network, listen) : listen();
        set_timeout(m_listener, SO_RCVTIMEO, 100);
        for (int i = 0; i < connections; ++i) {
            m_threads.emplace_back([this] { receive(); });
            if (direction == FromStation)
                m_threads.emplace_back([this, where] { send(where); });
            else
                m_threads.emplace_back(
                    [this, where, network] { in_netns(network, [&] { send(where); }); });
        }
    }
    ~TcpFlows() { stop(); }

    // Every receiver has seen its sender's end.
    bool done() const { return m_finished == static_cast<int>(m_threads.size() / 2); }
    void stop() {
        m_stop = true;
        for (auto& t : m_threads)
            if (t.joinable())
                t.join();
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
    }
    uint64_t received() const { return m_received; }
    bool intact() const { return !m_corrupt; }
    std::string error() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

private:
    void fail(const std::string& what) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_error.empty())
            m_error = what + ": " + std::strerror(errno);
    }

    void send(sockaddr_storage where) {
        const int fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        set_timeout(fd, SO_SNDTIMEO, 100);
        bool connected = false;
        while (!m_stop && !connected) {
            connected = ::connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
            if (!connected && errno == EISCONN)
                connected = true;
            else if (!connected && errno != EINTR && errno != EINPROGRESS && errno != EALREADY &&
                     errno != EAGAIN && errno != ETIMEDOUT) {
                fail("connect");
                break;
            }
        }
        std::vector<uint8_t> chunk(65536);
        uint64_t offset = 0;
        while (connected && !m_stop && (m_bytes == 0 || offset < m_bytes)) {
            const size_t n =
                m_bytes == 0 ? chunk.size() : std::min<uint64_t>(chunk.size(), m_bytes - offset);
            for (size_t i = 0; i < n; ++i)
                chunk[i] = pattern(offset + i);
            const ssize_t w = ::send(fd, chunk.data(), n, MSG_NOSIGNAL);
            if (w > 0)
                offset += static_cast<uint64_t>(w);
            else if (errno != EAGAIN && errno != EINTR) {
                fail("send");
                break;
            }
        }
        ::shutdown(fd, SHUT_WR);
        // The end reaches the receiver before the socket goes (or the test stops it).
        set_timeout(fd, SO_RCVTIMEO, 100);
        char c;
        while (connected && !m_stop && ::recv(fd, &c, 1, 0) < 0 &&
               (errno == EAGAIN || errno == EINTR))
            continue;
        ::close(fd);
    }

    void receive() {
        int fd = -1;
        while (!m_stop && fd < 0)
            fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        set_timeout(fd, SO_RCVTIMEO, 100);
        std::vector<uint8_t> buffer(65536);
        uint64_t offset = 0;
        while (!m_stop) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n == 0) {
                ++m_finished;
                break;
            }
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                fail("recv");
                break;
            }
            for (ssize_t i = 0; i < n; ++i)
                if (buffer[static_cast<size_t>(i)] != pattern(offset + static_cast<uint64_t>(i)))
                    m_corrupt = true;
            offset += static_cast<uint64_t>(n);
            m_received += static_cast<uint64_t>(n);
        }
        ::close(fd);
    }

    uint64_t m_bytes;
    int m_listener = -1;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_finished{0};
    std::atomic<uint64_t> m_received{0};
    std::atomic<bool> m_corrupt{false};
    std::mutex m_mutex;
    std::string m_error;
};

// What reached the network side, as a packet socket there saw it: TCP and UDP packets of
// IPv4 and IPv6, whole or as fragments.
struct WireTally {
    uint64_t packets = 0;
    size_t largest = 0;          // IP length
    uint64_t payloadPackets = 0; // TCP segments with payload, UDP datagrams
    uint64_t badChecksums = 0;   // of those
    uint64_t fragments = 0;
    size_t largestFragment = 0;               // IP length
    std::map<uint16_t, size_t> fragmentBytes; // IPv4 payload bytes by identification
    std::map<size_t, uint64_t> udpPayloads;   // datagrams by payload size
};

class WireCapture {
public:
    WireCapture(const std::string& network, const std::string& ifname) {
        m_fd = in_netns(network, [&] {
            const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
            int size = 64 << 20;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
            int one = 1;
            ::setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);
            sockaddr_ll addr{};
            addr.sll_family = AF_PACKET;
            addr.sll_protocol = htons(ETH_P_ALL);
            addr.sll_ifindex = static_cast<int>(::if_nametoindex(ifname.c_str()));
            if (addr.sll_ifindex == 0 ||
                ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
                throw std::runtime_error("cannot capture on " + ifname);
            return fd;
        });
        m_thread = std::thread([this] { run(); });
    }
    ~WireCapture() { finish(); }

    // Stops once what was sent has had a moment to arrive.
    WireTally finish() {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
            ::close(m_fd);
        }
        return m_tally;
    }

private:
    void run() {
        std::vector<uint8_t> frame(65536 + 64);
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 50);
            if (ready <= 0) {
                if (m_stop)
                    return;
                continue;
            }
            const ssize_t n = ::recv(m_fd, frame.data(), frame.size(), MSG_DONTWAIT);
            if (n > 0)
                count(std::vector<uint8_t>(frame.begin(), frame.begin() + n));
        }
    }

    void count(const std::vector<uint8_t>& f) {
        const auto l = ip_layout(f.data(), f.size());
        if (!l || (l->protocol != kTcp && l->protocol != kUdp && l->protocol != 44))
            return;
        ++m_tally.packets;
        m_tally.largest = std::max(m_tally.largest, l->end - l->ip);
        if (l->fragment) {
            ++m_tally.fragments;
            m_tally.largestFragment = std::max(m_tally.largestFragment, l->end - l->ip);
            if (l->version == 4)
                m_tally.fragmentBytes[wire::get_be16(f.data(), l->ip + 4)] += l->end - l->transport;
            return;
        }
        size_t payload = 0;
        if (l->protocol == kTcp && l->transport + 20 <= l->end)
            payload = l->end - l->transport - static_cast<size_t>(f[l->transport + 12] >> 4) * 4;
        if (l->protocol == kUdp && l->transport + 8 <= l->end) {
            payload = l->end - l->transport - 8;
            ++m_tally.udpPayloads[payload];
        }
        if (payload == 0 && l->protocol == kTcp)
            return;
        ++m_tally.payloadPackets;
        if (!transport_verifies(f))
            ++m_tally.badChecksums;
    }

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    WireTally m_tally;
};

} // namespace quellin::edges_test
