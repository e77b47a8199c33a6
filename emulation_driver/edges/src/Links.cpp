#include "QuellinEdges/Links.h"

#include "QuellinEdges/Netlink.h"

#include <cerrno>
#include <cstddef>
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
    ev.link.flags = info.ifi_flags;
    ev.link.loopback = (info.ifi_flags & IFF_LOOPBACK) != 0;

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
        case IFLA_MASTER:
            if (n >= 4)
                std::memcpy(&ev.link.master, payload, 4);
            break;
        case IFLA_STATS64:
            if (n >= offsetof(rtnl_link_stats64, tx_dropped) + 8)
                std::memcpy(&ev.link.txDropped, payload + offsetof(rtnl_link_stats64, tx_dropped),
                            8);
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
    for (const nl::Message& m : nl::split(data, length)) {
        if (m.type == NLMSG_DONE)
            break;
        // Parse from an aligned copy: the buffer may hold the message at any offset.
        const std::vector<uint8_t> copy = nl::join({m});
        if (auto ev = parse_link(reinterpret_cast<const nlmsghdr*>(copy.data()), copy.size()))
            out.push_back(std::move(*ev));
    }
    return out;
}

std::optional<LinkState> query_link(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ)
        return std::nullopt;
    try {
        nl::Socket socket;
        ifinfomsg info{};
        info.ifi_family = AF_UNSPEC;
        nl::Builder request(RTM_GETLINK, 0, info);
        request.put_string(IFLA_IFNAME, name);
        nl::Message answer;
        if (socket.get(request.message(), answer) != 0)
            return std::nullopt; // no such device, or refused
        const auto bytes = nl::join({answer});
        for (auto& ev : parse_link_messages(bytes.data(), bytes.size()))
            if (!ev.removed && ev.link.name == name)
                return ev.link;
    } catch (const std::system_error&) {
    }
    return std::nullopt;
}

LinkMonitor::LinkMonitor(bool addresses) {
    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "rtnetlink socket");
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK;
    if (addresses)
        local.nl_groups |= RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
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

std::vector<LinkEvent> LinkMonitor::drain(bool& overrun, std::vector<int>* addressChanges) {
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
        if (addressChanges)
            for (const auto& m : nl::split(buf.data(), static_cast<size_t>(n)))
                if ((m.type == RTM_NEWADDR || m.type == RTM_DELADDR) &&
                    m.body.size() >= sizeof(ifaddrmsg)) {
                    ifaddrmsg a;
                    std::memcpy(&a, m.body.data(), sizeof a);
                    addressChanges->push_back(static_cast<int>(a.ifa_index));
                }
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

bool set_link_queue_length(const std::string& name, uint32_t frames) {
    ifreq ifr{};
    ifr.ifr_qlen = static_cast<int>(frames);
    return link_ioctl(name, SIOCSIFTXQLEN, ifr);
}

int move_link(int index, int netnsFd) {
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    info.ifi_index = index;
    nl::Builder request(RTM_SETLINK, 0, info);
    request.put_u32(IFLA_NET_NS_FD, static_cast<uint32_t>(netnsFd));
    try {
        nl::Socket socket;
        return socket.request(request.message());
    } catch (const std::system_error& e) {
        return -e.code().value();
    }
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

namespace quellin::edges {

namespace {
// Words of the feature bitmap of an interface, from the size of its feature name set.
std::optional<uint32_t> feature_words(const std::string& name) {
    // The header, then one count per set asked for.
    alignas(ethtool_sset_info) uint8_t buf[sizeof(ethtool_sset_info) + sizeof(uint32_t)] = {};
    ethtool_sset_info head{};
    head.cmd = ETHTOOL_GSSET_INFO;
    head.sset_mask = 1ULL << ETH_SS_FEATURES;
    std::memcpy(buf, &head, sizeof head);
    ifreq ifr{};
    ifr.ifr_data = reinterpret_cast<char*>(buf);
    if (!link_ioctl(name, SIOCETHTOOL, ifr))
        return std::nullopt;
    std::memcpy(&head, buf, sizeof head);
    uint32_t count = 0;
    std::memcpy(&count, buf + sizeof head, sizeof count);
    if (head.sset_mask == 0 || count == 0)
        return std::nullopt;
    return (count + 31) / 32;
}

// The blocks of ETHTOOL_GFEATURES: available, requested, active, never changed.
std::optional<std::vector<ethtool_get_features_block>> get_features(const std::string& name) {
    const auto words = feature_words(name);
    if (!words)
        return std::nullopt;
    std::vector<uint8_t> buf(sizeof(ethtool_gfeatures) +
                             *words * sizeof(ethtool_get_features_block));
    ethtool_gfeatures head{};
    head.cmd = ETHTOOL_GFEATURES;
    head.size = *words;
    std::memcpy(buf.data(), &head, sizeof head);
    ifreq ifr{};
    ifr.ifr_data = reinterpret_cast<char*>(buf.data());
    if (!link_ioctl(name, SIOCETHTOOL, ifr))
        return std::nullopt;
    std::vector<ethtool_get_features_block> blocks(*words);
    std::memcpy(blocks.data(), buf.data() + sizeof head, blocks.size() * sizeof blocks[0]);
    return blocks;
}
} // namespace

std::optional<std::vector<uint32_t>> read_features(const std::string& name) {
    const auto blocks = get_features(name);
    if (!blocks)
        return std::nullopt;
    std::vector<uint32_t> requested;
    for (const auto& b : *blocks)
        requested.push_back(b.requested);
    return requested;
}

bool restore_features(const std::string& name, const std::vector<uint32_t>& requested) {
    const auto blocks = get_features(name);
    if (!blocks)
        return requested.empty();
    std::vector<ethtool_set_features_block> set(blocks->size());
    bool differs = false;
    for (size_t i = 0; i < blocks->size(); ++i) {
        const auto& b = (*blocks)[i];
        const uint32_t changeable = b.available & ~b.never_changed;
        const uint32_t wanted = i < requested.size() ? requested[i] : b.requested;
        set[i].valid = changeable;
        set[i].requested = wanted & changeable;
        differs |= ((b.requested ^ wanted) & changeable) != 0;
    }
    if (!differs)
        return true;
    std::vector<uint8_t> buf(sizeof(ethtool_sfeatures) + set.size() * sizeof set[0]);
    ethtool_sfeatures head{};
    head.cmd = ETHTOOL_SFEATURES;
    head.size = static_cast<uint32_t>(set.size());
    std::memcpy(buf.data(), &head, sizeof head);
    std::memcpy(buf.data() + sizeof head, set.data(), set.size() * sizeof set[0]);
    ifreq ifr{};
    ifr.ifr_data = reinterpret_cast<char*>(buf.data());
    // A positive answer tells which features came out otherwise than asked; the check
    // below is what counts.
    link_ioctl(name, SIOCETHTOOL, ifr);
    const auto now = read_features(name);
    if (!now)
        return false;
    for (size_t i = 0; i < set.size() && i < now->size(); ++i)
        if (((*now)[i] ^ set[i].requested) & set[i].valid)
            return false;
    return true;
}

} // namespace quellin::edges
