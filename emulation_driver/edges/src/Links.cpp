#include "QuellinEdges/Links.h"

#include <cerrno>
#include <cstring>
#include <linux/ethtool.h>
#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {

constexpr size_t kBufferSize = 32768;

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::optional<LinkEvent> parse_link(const nlmsghdr* h, size_t available) {
    if (h->nlmsg_type != RTM_NEWLINK && h->nlmsg_type != RTM_DELLINK)
        return std::nullopt;
    if (h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)) || h->nlmsg_len > available)
        return std::nullopt;
    LinkEvent ev;
    ev.removed = h->nlmsg_type == RTM_DELLINK;
    ifinfomsg info;
    std::memcpy(&info, NLMSG_DATA(h), sizeof info);
    ev.link.index = info.ifi_index;
    ev.link.adminUp = (info.ifi_flags & IFF_UP) != 0;
    ev.link.carrier = (info.ifi_flags & IFF_LOWER_UP) != 0;

    const auto* base = reinterpret_cast<const uint8_t*>(h);
    size_t off = NLMSG_LENGTH(sizeof(ifinfomsg));
    off = NLMSG_ALIGN(off);
    while (off + sizeof(rtattr) <= h->nlmsg_len) {
        rtattr a;
        std::memcpy(&a, base + off, sizeof a);
        if (a.rta_len < sizeof(rtattr) || off + a.rta_len > h->nlmsg_len)
            break;
        const uint8_t* payload = base + off + RTA_LENGTH(0);
        const size_t n = a.rta_len - RTA_LENGTH(0);
        switch (a.rta_type) {
        case IFLA_IFNAME:
            ev.link.name.assign(reinterpret_cast<const char*>(payload),
                                strnlen(reinterpret_cast<const char*>(payload), n));
            break;
        case IFLA_MTU:
            if (n >= 4)
                std::memcpy(&ev.link.mtu, payload, 4);
            break;
        case IFLA_ADDRESS:
            if (n == 6) {
                std::memcpy(ev.link.mac.data(), payload, 6);
                ev.link.hasMac = true;
            }
            break;
        default:
            break;
        }
        off += RTA_ALIGN(a.rta_len);
    }
    if (ev.link.name.empty())
        return std::nullopt;
    return ev;
}

} // namespace

std::vector<LinkEvent> parse_link_messages(const uint8_t* data, size_t length) {
    std::vector<LinkEvent> out;
    size_t off = 0;
    while (off + sizeof(nlmsghdr) <= length) {
        nlmsghdr h;
        std::memcpy(&h, data + off, sizeof h);
        if (h.nlmsg_len < sizeof(nlmsghdr) || h.nlmsg_len > length - off)
            break;
        if (h.nlmsg_type == NLMSG_DONE)
            break;
        // Parse from an aligned copy: the buffer may hold the message at any offset.
        alignas(nlmsghdr) uint8_t copy[kBufferSize];
        if (h.nlmsg_len <= sizeof copy) {
            std::memcpy(copy, data + off, h.nlmsg_len);
            if (auto ev = parse_link(reinterpret_cast<const nlmsghdr*>(copy), h.nlmsg_len))
                out.push_back(std::move(*ev));
        }
        off += NLMSG_ALIGN(h.nlmsg_len);
    }
    return out;
}

std::optional<LinkState> query_link(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ)
        return std::nullopt;
    Fd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0)
        return std::nullopt;
    struct {
        nlmsghdr h;
        ifinfomsg info;
        alignas(4) uint8_t attrs[RTA_SPACE(IFNAMSIZ)];
    } req{};
    req.h.nlmsg_type = RTM_GETLINK;
    req.h.nlmsg_flags = NLM_F_REQUEST;
    req.h.nlmsg_seq = 1;
    req.info.ifi_family = AF_UNSPEC;
    rtattr a{};
    a.rta_type = IFLA_IFNAME;
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(name.size() + 1));
    std::memcpy(req.attrs, &a, sizeof a);
    std::memcpy(req.attrs + RTA_LENGTH(0), name.c_str(), name.size() + 1);
    req.h.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_ALIGN(a.rta_len);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &req, req.h.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return std::nullopt;
    std::vector<uint8_t> buf(kBufferSize);
    for (;;) {
        pollfd p{fd.get(), POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            return std::nullopt;
        const ssize_t n = ::recv(fd.get(), buf.data(), buf.size(), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (static_cast<size_t>(n) < sizeof(nlmsghdr))
            return std::nullopt;
        nlmsghdr h;
        std::memcpy(&h, buf.data(), sizeof h);
        if (h.nlmsg_type == NLMSG_ERROR)
            return std::nullopt; // no such device, or refused
        for (auto& ev : parse_link_messages(buf.data(), static_cast<size_t>(n)))
            if (!ev.removed && ev.link.name == name)
                return ev.link;
        return std::nullopt;
    }
}

LinkMonitor::LinkMonitor() {
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "rtnetlink socket");
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        const int e = errno;
        ::close(m_fd);
        m_fd = -1;
        throw std::system_error(e, std::generic_category(), "rtnetlink bind");
    }
    int size = 1 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

LinkMonitor::~LinkMonitor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<LinkEvent> LinkMonitor::drain(bool& overrun) {
    overrun = false;
    std::vector<LinkEvent> out;
    std::vector<uint8_t> buf(kBufferSize);
    for (;;) {
        const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {
                overrun = true;
                continue;
            }
            break; // EAGAIN: drained
        }
        auto events = parse_link_messages(buf.data(), static_cast<size_t>(n));
        for (auto& ev : events)
            out.push_back(std::move(ev));
    }
    return out;
}

namespace {
bool link_ioctl(const std::string& name, unsigned long request, ifreq& ifr) {
    if (name.empty() || name.size() >= IFNAMSIZ) {
        errno = EINVAL;
        return false;
    }
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        return false;
    std::memcpy(ifr.ifr_name, name.c_str(), name.size() + 1);
    return ::ioctl(fd.get(), request, &ifr) == 0;
}
} // namespace

bool set_link_mtu(const std::string& name, uint32_t mtu) {
    ifreq ifr{};
    ifr.ifr_mtu = static_cast<int>(mtu);
    return link_ioctl(name, SIOCSIFMTU, ifr);
}

bool set_link_up(const std::string& name, bool up) {
    ifreq ifr{};
    if (!link_ioctl(name, SIOCGIFFLAGS, ifr))
        return false;
    if (up)
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    else
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags & ~IFF_UP);
    return link_ioctl(name, SIOCSIFFLAGS, ifr);
}

bool disable_receive_coalescing(const std::string& name) {
    auto settle = [](bool ok) { return ok || errno == EOPNOTSUPP || errno == EINVAL; };
    ethtool_value gro{};
    gro.cmd = ETHTOOL_SGRO;
    gro.data = 0;
    ifreq ifr{};
    ifr.ifr_data = reinterpret_cast<char*>(&gro);
    const bool groOff = settle(link_ioctl(name, SIOCETHTOOL, ifr));

    ethtool_value flags{};
    flags.cmd = ETHTOOL_GFLAGS;
    ifr = ifreq{};
    ifr.ifr_data = reinterpret_cast<char*>(&flags);
    if (!link_ioctl(name, SIOCETHTOOL, ifr))
        return groOff && settle(false);
    if ((flags.data & ETH_FLAG_LRO) == 0)
        return groOff;
    flags.cmd = ETHTOOL_SFLAGS;
    flags.data &= ~static_cast<uint32_t>(ETH_FLAG_LRO);
    ifr = ifreq{};
    ifr.ifr_data = reinterpret_cast<char*>(&flags);
    return groOff && settle(link_ioctl(name, SIOCETHTOOL, ifr));
}

} // namespace quellin::edges
