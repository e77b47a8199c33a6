#include "Traffic/Modes.h"
#include "Traffic/Probe.h"
#include "Traffic/Stats.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace traffic {

namespace {

constexpr int kDefaultPort = 47000;
constexpr std::size_t kBatch = 64;
constexpr std::size_t kMaxPayload = 65000;

class Socket {
public:
    explicit Socket(int family) : m_fd(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        if (m_fd < 0)
            throw std::runtime_error(std::string("socket: ") + strerror(errno));
    }
    ~Socket() { ::close(m_fd); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

void big_buffer(int fd, int force, int plain, int bytes) {
    if (::setsockopt(fd, SOL_SOCKET, force, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, plain, &bytes, sizeof bytes);
}

// When the datagram reached this host's stack: its kernel stamp (CLOCK_REALTIME, the clock
// the sender stamps with), or `fallback` when it has none.
int64_t stamped_arrival(const msghdr& msg, int64_t fallback) {
    for (const cmsghdr* c = CMSG_FIRSTHDR(&msg); c;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&msg), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS ||
            c->cmsg_len < CMSG_LEN(sizeof(timespec)))
            continue;
        timespec ts;
        std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
        return ts.tv_sec * 1000000000LL + ts.tv_nsec;
    }
    return fallback;
}

void sleep_until(int64_t ns) {
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

} // namespace

int udp_receive(const Options& opts) {
    const int port = static_cast<int>(opts.number("port", kDefaultPort));
    const int64_t timeoutNs = opts.number("timeout-ms", 10000) * 1000000;
    const int64_t idleNs = opts.number("idle-ms", 1000) * 1000000;
    const int64_t lingerNs = opts.number("linger-ms", 0) * 1000000;
    const uint64_t maxPackets = static_cast<uint64_t>(opts.number("max-packets", 20000000));
    const uint32_t flow = static_cast<uint32_t>(opts.number("flow", 0));
    const bool list = opts.flag("list");

    sockaddr_storage local{};
    socklen_t len = make_address(opts.text("bind"), port, &local);
    Socket sock(local.ss_family);
    int on = 1;
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (local.ss_family == AF_INET6)
        ::setsockopt(sock.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    big_buffer(sock.fd(), SO_RCVBUFFORCE, SO_RCVBUF, 32 << 20);
    // The delay is measured to the datagram's arrival in the stack, not to this program's
    // turn to read it.
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (::bind(sock.fd(), reinterpret_cast<sockaddr*>(&local), len) != 0)
        throw std::runtime_error(std::string("bind: ") + strerror(errno));

    static char outBuf[1 << 16];
    std::setvbuf(stdout, outBuf, _IOFBF, sizeof outBuf);
    std::printf("ready proto=udp port=%d\n", port);
    std::fflush(stdout);

    std::vector<uint8_t> storage(kBatch * kMaxPayload);
    mmsghdr msgs[kBatch];
    iovec iovs[kBatch];
    constexpr std::size_t kControl = CMSG_SPACE(sizeof(timespec));
    alignas(cmsghdr) uint8_t controls[kBatch][kControl];
    ReceiveStats stats;
    uint64_t foreign = 0;
    const int64_t start = monotonic_ns();
    int64_t lastArrival = 0;
    int64_t completeAt = 0;

    for (;;) {
        int64_t now = monotonic_ns();
        if (now - start >= timeoutNs)
            break;
        if (lastArrival && now - lastArrival >= idleNs)
            break;
        if (completeAt && now - completeAt >= lingerNs)
            break;
        if (stats.received() + foreign >= maxPackets)
            break;
        pollfd pfd{sock.fd(), POLLIN, 0};
        int64_t waitNs = std::min<int64_t>(50000000, timeoutNs - (now - start));
        if (::poll(&pfd, 1, static_cast<int>(waitNs / 1000000) + 1) <= 0)
            continue;
        for (std::size_t i = 0; i < kBatch; ++i) {
            iovs[i] = {storage.data() + i * kMaxPayload, kMaxPayload};
            std::memset(&msgs[i], 0, sizeof msgs[i]);
            msgs[i].msg_hdr.msg_iov = &iovs[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_control = controls[i];
            msgs[i].msg_hdr.msg_controllen = kControl;
        }
        int got = ::recvmmsg(sock.fd(), msgs, kBatch, MSG_DONTWAIT, nullptr);
        if (got <= 0)
            continue;
        // Delays compare the kernel's stamp with the sender's on one clock, the wall clock;
        // the monotonic clock only places arrivals for the timeouts and the rate.
        const int64_t read = monotonic_ns();
        const int64_t readWall = realtime_ns();
        lastArrival = read;
        int64_t arrival = read;
        for (int i = 0; i < got; ++i) {
            const uint8_t* data = storage.data() + static_cast<std::size_t>(i) * kMaxPayload;
            std::size_t size = msgs[i].msg_len;
            ProbeHeader h;
            ProbeCheck check = decode_probe(data, size, &h);
            if (check == ProbeCheck::Foreign || (flow && h.flow != flow)) {
                ++foreign;
                continue;
            }
            const int64_t wall = std::min(readWall, stamped_arrival(msgs[i].msg_hdr, readWall));
            arrival = read - (readWall - wall);
            Arrival a;
            a.sequence = h.sequence;
            // Wraps rather than overflows when a flipped bit made the stamp nonsense.
            a.delay_ns = static_cast<int64_t>(static_cast<uint64_t>(wall) - h.stamp_ns);
            a.arrival_ns = arrival;
            a.size = static_cast<uint32_t>(size);
            a.corrupt = check == ProbeCheck::Corrupt;
            stats.add(a, h.total);
            if (list)
                std::printf("pkt seq=%u delay_us=%.1f size=%zu corrupt=%d\n", h.sequence,
                            static_cast<double>(a.delay_ns) / 1e3, size, a.corrupt ? 1 : 0);
        }
        if (!completeAt && stats.complete())
            completeAt = arrival;
    }
    std::printf("udp-recv %s foreign=%llu\n", format_summary(stats.summary()).c_str(),
                static_cast<unsigned long long>(foreign));
    std::fflush(stdout);
    return 0;
}

int udp_send(const Options& opts) {
    const int port = static_cast<int>(opts.number("port", kDefaultPort));
    const uint64_t count = static_cast<uint64_t>(opts.number("count", 1000));
    const std::size_t size = static_cast<std::size_t>(opts.number("size", 64));
    const int64_t rate = opts.number("rate", 0);
    const int64_t durationNs = opts.number("duration-ms", 10000) * 1000000;
    const uint32_t flow = static_cast<uint32_t>(opts.number("flow", ::getpid()));
    if (size < kProbeHeaderSize || size > kMaxPayload)
        throw std::runtime_error("--size must be within " + std::to_string(kProbeHeaderSize) +
                                 ".." + std::to_string(kMaxPayload));
    if (count > 0xFFFFFFFFull)
        throw std::runtime_error("--count is too large");

    sockaddr_storage peer{};
    socklen_t len = make_address(opts.text("to"), port, &peer);
    Socket sock(peer.ss_family);
    if (opts.flag("no-checksum")) {
        int on = 1;
        if (::setsockopt(sock.fd(), SOL_SOCKET, SO_NO_CHECK, &on, sizeof on) != 0)
            throw std::runtime_error(std::string("SO_NO_CHECK: ") + strerror(errno));
    }
    if (opts.flag("df")) {
        // "on": don't fragment, learn the path MTU; "off": let routers fragment.
        std::string df = opts.text("df");
        if (df != "on" && df != "off")
            throw std::runtime_error("--df wants on or off");
        int mode = df == "on" ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
        int r = peer.ss_family == AF_INET6
                    ? ::setsockopt(sock.fd(), IPPROTO_IPV6, IPV6_MTU_DISCOVER, &mode, sizeof mode)
                    : ::setsockopt(sock.fd(), IPPROTO_IP, IP_MTU_DISCOVER, &mode, sizeof mode);
        if (r != 0)
            throw std::runtime_error(std::string("--df: ") + strerror(errno));
    }
    big_buffer(sock.fd(), SO_SNDBUFFORCE, SO_SNDBUF, 8 << 20);
    timeval tv{1, 0};
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (opts.flag("from")) {
        // The source address, for a station that holds several.
        sockaddr_storage local{};
        const socklen_t localLen = make_address(opts.text("from"), 1, &local);
        if (local.ss_family == AF_INET6)
            reinterpret_cast<sockaddr_in6*>(&local)->sin6_port = 0;
        else
            reinterpret_cast<sockaddr_in*>(&local)->sin_port = 0;
        if (::bind(sock.fd(), reinterpret_cast<sockaddr*>(&local), localLen) != 0)
            throw std::runtime_error(std::string("bind --from: ") + strerror(errno));
    }
    if (::connect(sock.fd(), reinterpret_cast<sockaddr*>(&peer), len) != 0)
        throw std::runtime_error(std::string("connect: ") + strerror(errno));

    const std::size_t batch = kBatch;
    std::vector<uint8_t> storage(batch * size);
    std::vector<mmsghdr> msgs(batch);
    std::vector<iovec> iovs(batch);
    uint64_t sent = 0;
    uint64_t errors = 0;
    const int64_t start = monotonic_ns();
    int64_t end = start;
    uint64_t next = 0;
    while (next < count) {
        int64_t now = monotonic_ns();
        if (now - start >= durationNs)
            break;
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(batch, count - next));
        if (rate > 0) {
            int64_t due =
                start + static_cast<int64_t>(next * 1000000000ull / static_cast<uint64_t>(rate));
            if (due > now) {
                sleep_until(due);
                now = monotonic_ns();
            }
            // Every probe due by now leaves in one call, so that rates above one call per
            // probe hold on average.
            const uint64_t dueCount =
                static_cast<uint64_t>(now - start) * static_cast<uint64_t>(rate) / 1000000000ull +
                1;
            n = static_cast<std::size_t>(
                std::min<uint64_t>(n, dueCount > next ? dueCount - next : 1));
        }
        const int64_t stamp = realtime_ns();
        for (std::size_t i = 0; i < n; ++i) {
            uint8_t* p = storage.data() + i * size;
            ProbeHeader h{static_cast<uint32_t>(next + i), static_cast<uint32_t>(count), flow,
                          static_cast<uint64_t>(stamp)};
            encode_probe(h, p, size);
            iovs[i] = {p, size};
            std::memset(&msgs[i], 0, sizeof msgs[i]);
            msgs[i].msg_hdr.msg_iov = &iovs[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
        }
        int done = ::sendmmsg(sock.fd(), msgs.data(), static_cast<unsigned>(n), 0);
        if (done <= 0) {
            // Refused by an ICMP answer or out of buffers: the probe is gone, count it.
            ++errors;
            ++next;
            continue;
        }
        sent += static_cast<uint64_t>(done);
        next += static_cast<uint64_t>(done);
        end = monotonic_ns();
    }
    double secs = static_cast<double>(end - start) / 1e9;
    double pps = secs > 0 ? static_cast<double>(sent) / secs : 0;
    std::printf("udp-send sent=%llu errors=%llu size=%zu flow=%u duration_s=%.6f rate_pps=%.0f "
                "bits_per_s=%.0f\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(errors),
                size, flow, secs, pps, pps * static_cast<double>(size) * 8.0);
    std::fflush(stdout);
    return 0;
}

} // namespace traffic
