#include "QuellinEdges/InterfaceSettings.h"

#include "QuellinEdges/Bindings.h"
#include "QuellinEdges/Links.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_addr.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <memory>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {

constexpr uint32_t kForever = 0xFFFFFFFF;
// Address flags a request may carry; the others are the kernel's own state.
constexpr uint32_t kSettableAddressFlags = IFA_F_NODAD | IFA_F_OPTIMISTIC | IFA_F_HOMEADDRESS |
                                           IFA_F_MANAGETEMPADDR | IFA_F_NOPREFIXROUTE |
                                           IFA_F_MCAUTOJOIN;
// Link flags given back besides IFF_UP.
constexpr uint32_t kRestoredLinkFlags = IFF_PROMISC | IFF_ALLMULTI | IFF_NOARP;
constexpr const char* kSysctlFolders[] = {"ipv4/conf", "ipv6/conf", "ipv4/neigh", "ipv6/neigh"};

template <class T>
bool header_of(const nl::Message& m, T& out) {
    if (m.body.size() < sizeof(T))
        return false;
    std::memcpy(&out, m.body.data(), sizeof(T));
    return true;
}

std::string sysctl_path(const std::string& key, const std::string& name) {
    // "ipv4/conf/rp_filter" -> /proc/sys/net/ipv4/conf/NAME/rp_filter
    const auto second = key.find('/', key.find('/') + 1);
    return "/proc/sys/net/" + key.substr(0, second) + "/" + name + key.substr(second);
}

std::optional<std::string> read_text(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    std::string text(buf, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool write_text(const std::string& path, const std::string& value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string line = value + "\n";
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return ok;
}

// The sysctls of an interface that differ from its namespace's "default" ones: a new
// interface, and one that comes back into the namespace, starts with those.
std::vector<std::pair<std::string, std::string>> read_sysctls(const std::string& name) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const char* folder : kSysctlFolders) {
        const std::string dir = std::string("/proc/sys/net/") + folder + "/" + name;
        const std::string defaults = std::string("/proc/sys/net/") + folder + "/default/";
        DIR* d = ::opendir(dir.c_str());
        if (!d)
            continue;
        std::vector<std::string> files;
        while (dirent* e = ::readdir(d))
            if (e->d_type == DT_REG)
                files.emplace_back(e->d_name);
        ::closedir(d);
        std::sort(files.begin(), files.end());
        for (const auto& f : files)
            if (auto v = read_text(dir + "/" + f)) // write-only or unset ones are skipped
                if (read_text(defaults + f) != v)
                    out.emplace_back(std::string(folder) + "/" + f, *v);
    }
    return out;
}

std::optional<std::string> captured_sysctl(const InterfaceSettings& s, const std::string& key) {
    for (const auto& [k, v] : s.sysctls)
        if (k == key)
            return v;
    return std::nullopt;
}

int dump(nl::Socket& socket, uint16_t type, uint8_t family, std::vector<nl::Message>& out) {
    // Every family header starts with its family byte; rtmsg is the largest of them.
    rtmsg header{};
    header.rtm_family = family;
    size_t size = sizeof(rtgenmsg);
    if (type == RTM_GETADDR)
        size = sizeof(ifaddrmsg);
    else if (type == RTM_GETROUTE)
        size = sizeof(rtmsg);
    else if (type == RTM_GETNEIGH)
        size = sizeof(ndmsg);
    nl::Builder request(type, 0, &header, size);
    return socket.dump(request.message(), out);
}

std::string label_for(const std::string& old, const std::string& oldName, const std::string& name) {
    if (oldName == name || old.rfind(oldName, 0) != 0)
        return old;
    return name + old.substr(oldName.size());
}

// A link request of index with its family header's flags.
nl::Builder link_request(int index, uint32_t flags, uint32_t change) {
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    info.ifi_index = index;
    info.ifi_flags = flags;
    info.ifi_change = change;
    return nl::Builder(RTM_SETLINK, 0, info);
}

} // namespace

bool valid_sysctl_key(const std::string& key) {
    for (const char* folder : kSysctlFolders) {
        const std::string prefix = std::string(folder) + "/";
        if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string file = key.substr(prefix.size());
        return file.size() < 64 && file != "." && file != ".." &&
               file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789_-.") == std::string::npos;
    }
    return false;
}

uint64_t boottime_seconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec);
}

bool route_uses(const nl::Message& route, int index) {
    for (const auto& a : nl::attributes(route, sizeof(rtmsg))) {
        if (a.type == RTA_OIF && static_cast<int>(a.u32()) == index)
            return true;
        if (a.type != RTA_MULTIPATH)
            continue;
        size_t off = 0;
        while (off + sizeof(rtnexthop) <= a.size) {
            rtnexthop hop;
            std::memcpy(&hop, a.data + off, sizeof hop);
            if (hop.rtnh_len < sizeof hop || hop.rtnh_len > a.size - off)
                break;
            if (hop.rtnh_ifindex == index)
                return true;
            off += RTNH_ALIGN(hop.rtnh_len);
        }
    }
    return false;
}

std::optional<InterfaceSettings> capture_settings(const std::string& name, std::string& error) {
    const auto link = query_link(name);
    if (!link) {
        error = "no interface " + name;
        return std::nullopt;
    }
    InterfaceSettings s;
    s.name = name;
    s.index = link->index;
    s.flags = link->flags;
    s.mtu = link->mtu;
    s.capturedAt = boottime_seconds();
    if (auto f = read_features(name))
        s.features = std::move(*f);
    s.sysctls = read_sysctls(name);
    try {
        nl::Socket socket;
        std::vector<nl::Message> all;
        int rc = dump(socket, RTM_GETADDR, AF_UNSPEC, all);
        for (auto& m : all) {
            ifaddrmsg a;
            if (m.type == RTM_NEWADDR && header_of(m, a) &&
                static_cast<int>(a.ifa_index) == s.index)
                s.addresses.push_back(std::move(m));
        }
        for (uint8_t family : {uint8_t{AF_INET}, uint8_t{AF_INET6}}) {
            if (rc == 0)
                rc = dump(socket, RTM_GETROUTE, family, all);
            for (auto& m : all)
                if (m.type == RTM_NEWROUTE && route_uses(m, s.index))
                    s.routes.push_back(std::move(m));
        }
        if (rc == 0)
            rc = dump(socket, RTM_GETNEIGH, AF_UNSPEC, all);
        for (auto& m : all) {
            ndmsg n;
            if (m.type == RTM_NEWNEIGH && header_of(m, n) && n.ndm_ifindex == s.index &&
                (n.ndm_state & NUD_PERMANENT))
                s.neighbours.push_back(std::move(m));
        }
        if (rc != 0) {
            error = "cannot read the configuration of " + name + ": " + std::strerror(-rc);
            return std::nullopt;
        }
    } catch (const std::system_error& e) {
        error = e.what();
        return std::nullopt;
    }
    return s;
}

std::optional<nl::Message> address_request(const nl::Message& captured, int index,
                                           const std::string& name, const std::string& oldName,
                                           uint64_t elapsed) {
    ifaddrmsg h;
    if (captured.type != RTM_NEWADDR || !header_of(captured, h))
        return std::nullopt;
    h.ifa_index = static_cast<uint32_t>(index);
    h.ifa_flags = static_cast<uint8_t>(h.ifa_flags & kSettableAddressFlags);
    nl::Builder out(RTM_NEWADDR, NLM_F_CREATE | NLM_F_REPLACE, h);
    for (const auto& a : nl::attributes(captured, sizeof(ifaddrmsg))) {
        switch (a.type) {
        case IFA_ADDRESS:
        case IFA_LOCAL:
        case IFA_BROADCAST:
        case IFA_ANYCAST:
        case IFA_RT_PRIORITY:
        case IFA_PROTO:
            out.put(a);
            break;
        case IFA_LABEL: {
            const std::string label = label_for(a.text(), oldName, name);
            if (label.size() < IFNAMSIZ)
                out.put_string(IFA_LABEL, label);
            break;
        }
        case IFA_FLAGS:
            out.put_u32(IFA_FLAGS, a.u32() & kSettableAddressFlags);
            break;
        case IFA_CACHEINFO: {
            ifa_cacheinfo ci{};
            if (a.size < sizeof ci)
                break;
            std::memcpy(&ci, a.data, sizeof ci);
            if (ci.ifa_valid == kForever && ci.ifa_prefered == kForever)
                break;
            if (ci.ifa_valid != kForever) {
                if (ci.ifa_valid <= elapsed)
                    return std::nullopt; // it would have expired meanwhile
                ci.ifa_valid -= static_cast<uint32_t>(elapsed);
            }
            if (ci.ifa_prefered != kForever)
                ci.ifa_prefered = ci.ifa_prefered > elapsed
                                      ? ci.ifa_prefered - static_cast<uint32_t>(elapsed)
                                      : 0;
            ci.ifa_prefered = std::min(ci.ifa_prefered, ci.ifa_valid);
            ci.cstamp = ci.tstamp = 0;
            out.put(IFA_CACHEINFO, &ci, sizeof ci);
            break;
        }
        default:
            break;
        }
    }
    return out.message();
}

std::optional<nl::Message> route_request(const nl::Message& captured, int oldIndex, int index,
                                         uint64_t elapsed) {
    rtmsg r;
    if (captured.type != RTM_NEWROUTE || !header_of(captured, r))
        return std::nullopt;
    // The kernel makes these itself from the addresses and the link.
    if (r.rtm_protocol == RTPROT_KERNEL || (r.rtm_flags & RTM_F_CLONED))
        return std::nullopt;
    const auto attrs = nl::attributes(captured, sizeof(rtmsg));
    if (nl::find(attrs, RTA_NH_ID))
        return std::nullopt; // a shared next-hop object went with the interface
    r.rtm_flags &= RTNH_F_ONLINK;
    nl::Builder out(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_EXCL, r);
    for (const auto& a : attrs) {
        switch (a.type) {
        case RTA_DST:
        case RTA_SRC:
        case RTA_GATEWAY:
        case RTA_PREFSRC:
        case RTA_PRIORITY:
        case RTA_TABLE:
        case RTA_PREF:
        case RTA_FLOW:
        case RTA_ENCAP_TYPE:
        case RTA_VIA:
            out.put(a);
            break;
        case RTA_METRICS:
        case RTA_ENCAP: {
            const size_t at = out.begin_nested(a.type);
            for (const auto& inner : nl::attributes(a.data, a.size))
                out.put(inner);
            out.end_nested(at);
            break;
        }
        case RTA_OIF:
            out.put_u32(RTA_OIF, static_cast<int>(a.u32()) == oldIndex
                                     ? static_cast<uint32_t>(index)
                                     : a.u32());
            break;
        case RTA_MULTIPATH: {
            std::vector<uint8_t> hops(a.data, a.data + a.size);
            size_t off = 0;
            while (off + sizeof(rtnexthop) <= hops.size()) {
                rtnexthop hop;
                std::memcpy(&hop, hops.data() + off, sizeof hop);
                if (hop.rtnh_len < sizeof hop || hop.rtnh_len > hops.size() - off)
                    break;
                if (hop.rtnh_ifindex == oldIndex)
                    hop.rtnh_ifindex = index;
                hop.rtnh_flags &= RTNH_F_ONLINK;
                std::memcpy(hops.data() + off, &hop, sizeof hop);
                off += RTNH_ALIGN(hop.rtnh_len);
            }
            out.put(RTA_MULTIPATH, hops.data(), hops.size());
            break;
        }
        case RTA_CACHEINFO: {
            rta_cacheinfo ci{};
            if (a.size < sizeof ci || r.rtm_family != AF_INET6)
                break;
            std::memcpy(&ci, a.data, sizeof ci);
            if (ci.rta_expires == 0)
                break;
            const long hz = ::sysconf(_SC_CLK_TCK) > 0 ? ::sysconf(_SC_CLK_TCK) : 100;
            const uint64_t left = ci.rta_expires / static_cast<uint64_t>(hz);
            if (left <= elapsed)
                return std::nullopt;
            out.put_u32(RTA_EXPIRES, static_cast<uint32_t>(left - elapsed));
            break;
        }
        default:
            break;
        }
    }
    return out.message();
}

std::optional<nl::Message> neighbour_request(const nl::Message& captured, int index) {
    ndmsg n;
    if (captured.type != RTM_NEWNEIGH || !header_of(captured, n))
        return std::nullopt;
    n.ndm_ifindex = index;
    n.ndm_flags &= NTF_ROUTER;
    nl::Builder out(RTM_NEWNEIGH, NLM_F_CREATE | NLM_F_REPLACE, n);
    for (const auto& a : nl::attributes(captured, sizeof(ndmsg)))
        if (a.type == NDA_DST || a.type == NDA_LLADDR)
            out.put(a);
    return out.message();
}

bool apply_settings(const InterfaceSettings& s, const std::string& name, int index,
                    SettingsTarget target, const LogSink& log) {
    bool ok = true;
    auto warn = [&](const std::string& what) {
        ok = false;
        if (log)
            log(kLogWarning, name + ": " + what);
    };
    if (!valid_interface_name(name)) {
        warn("no interface can have that name");
        return false;
    }
    std::unique_ptr<nl::Socket> socket;
    try {
        socket = std::make_unique<nl::Socket>();
    } catch (const std::system_error& e) {
        warn(std::string("cannot be configured: ") + e.what());
        return false;
    }
    const bool restore = target == SettingsTarget::Restore;
    const uint64_t now = boottime_seconds();
    const uint64_t elapsed = now > s.capturedAt ? now - s.capturedAt : 0;

    // Sysctls: IPv6 on or off before anything that depends on it; the link MTU before the
    // IPv6 one; duplicate address detection off until the addresses are on.
    std::vector<std::string> failed;
    auto set_sysctl = [&](const std::string& key, const std::string& value) {
        if (!valid_sysctl_key(key) || !valid_interface_name(name)) {
            failed.push_back(key);
            return;
        }
        const std::string path = sysctl_path(key, name);
        const auto current = read_text(path);
        if (current && *current == value)
            return;
        if (!write_text(path, value))
            failed.push_back(key.substr(key.rfind('/') + 1));
    };
    const std::string dadKey = "ipv6/conf/accept_dad";
    const auto dadBefore = read_text(sysctl_path(dadKey, name));
    if (auto v = captured_sysctl(s, "ipv6/conf/disable_ipv6"))
        set_sysctl("ipv6/conf/disable_ipv6", *v);
    for (const auto& [key, value] : s.sysctls)
        if (key != "ipv6/conf/disable_ipv6" && key != "ipv6/conf/mtu" && key != dadKey)
            set_sysctl(key, value);
    if (dadBefore)
        write_text(sysctl_path(dadKey, name), "0");

    if (restore) {
        auto mtu = link_request(index, 0, 0);
        mtu.put_u32(IFLA_MTU, s.mtu);
        if (s.mtu && socket->request(mtu.message()) != 0)
            warn("cannot be given back its MTU of " + std::to_string(s.mtu));
        if (!s.features.empty() && !restore_features(name, s.features))
            warn("cannot be given back its offload settings");
        auto flags = link_request(index, s.flags & kRestoredLinkFlags, kRestoredLinkFlags);
        if (socket->request(flags.message()) != 0)
            warn("cannot be given back its promiscuous and multicast settings");
    }
    if (auto v = captured_sysctl(s, "ipv6/conf/mtu"))
        set_sysctl("ipv6/conf/mtu", *v);
    if (s.flags & IFF_UP) {
        auto up = link_request(index, IFF_UP, IFF_UP);
        if (const int rc = socket->request(up.message()); rc != 0)
            warn(std::string("cannot be brought up: ") + std::strerror(-rc));
    }

    // IPv4 addresses in their order (the first of a subnet is its primary); IPv6 ones in
    // reverse, as each new one goes before those of its scope.
    std::vector<const nl::Message*> v4, v6;
    for (const auto& m : s.addresses) {
        ifaddrmsg a;
        if (header_of(m, a))
            (a.ifa_family == AF_INET6 ? v6 : v4).push_back(&m);
    }
    std::reverse(v6.begin(), v6.end());
    v4.insert(v4.end(), v6.begin(), v6.end());
    size_t addressFailures = 0;
    int addressError = 0;
    for (const nl::Message* m : v4)
        if (auto request = address_request(*m, index, name, s.name, elapsed))
            if (const int rc = socket->request(*request); rc != 0 && rc != -EEXIST) {
                ++addressFailures;
                addressError = -rc;
            }
    if (addressFailures)
        warn(std::to_string(addressFailures) +
             " address(es) could not be put back: " + std::strerror(addressError));
    if (dadBefore)
        write_text(sysctl_path(dadKey, name), captured_sysctl(s, dadKey).value_or(*dadBefore));

    // Routes on the link first, then those through a gateway on it; what still fails is
    // tried once more after the others.
    std::vector<nl::Message> routes;
    for (const auto& m : s.routes)
        if (auto request = route_request(m, s.index, index, elapsed))
            routes.push_back(std::move(*request));
    std::stable_sort(routes.begin(), routes.end(), [](const nl::Message& a, const nl::Message& b) {
        rtmsg ra{}, rb{};
        header_of(a, ra);
        header_of(b, rb);
        return ra.rtm_scope > rb.rtm_scope;
    });
    std::vector<nl::Message> retry;
    for (auto& m : routes)
        if (const int rc = socket->request(m); rc != 0 && rc != -EEXIST)
            retry.push_back(std::move(m));
    int routeError = 0;
    size_t routeFailures = 0;
    for (const auto& m : retry)
        if (const int rc = socket->request(m); rc != 0 && rc != -EEXIST) {
            ++routeFailures;
            routeError = -rc;
        }
    if (routeFailures)
        warn(std::to_string(routeFailures) +
             " route(s) could not be put back: " + std::strerror(routeError));

    size_t neighbourFailures = 0;
    for (const auto& m : s.neighbours)
        if (auto request = neighbour_request(m, index))
            neighbourFailures += socket->request(*request) != 0 ? 1 : 0;
    if (neighbourFailures)
        warn(std::to_string(neighbourFailures) + " static neighbour(s) could not be put back");
    if (!failed.empty()) {
        std::string list;
        for (const auto& f : failed)
            list += (list.empty() ? "" : ", ") + f;
        warn("sysctls not taken: " + list);
    }
    return ok;
}

} // namespace quellin::edges
