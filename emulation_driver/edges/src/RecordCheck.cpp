#include "QuellinEdges/RecordCheck.h"

#include "QuellinEdges/Bindings.h"

#include <cstdlib>
#include <cstring>
#include <linux/if_addr.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>

namespace quellin::edges {

namespace {

template <class T>
bool header_of(const nl::Message& m, T& out) {
    if (m.body.size() < sizeof(T))
        return false;
    std::memcpy(&out, m.body.data(), sizeof(T));
    return true;
}

bool address_on(const nl::Message& m, int index) {
    ifaddrmsg a;
    return m.type == RTM_NEWADDR && header_of(m, a) && static_cast<int>(a.ifa_index) == index;
}

bool neighbour_on(const nl::Message& m, int index) {
    ndmsg n;
    return m.type == RTM_NEWNEIGH && header_of(m, n) && n.ndm_ifindex == index;
}

// Every interface the route leaves through is `index`.
bool route_only_on(const nl::Message& m, int index) {
    rtmsg r;
    if (m.type != RTM_NEWROUTE || !header_of(m, r) || !route_uses(m, index))
        return false;
    for (const auto& a : nl::attributes(m, sizeof(rtmsg))) {
        if (a.type == RTA_OIF && (a.size < 4 || static_cast<int>(a.u32()) != index))
            return false;
        if (a.type != RTA_MULTIPATH)
            continue;
        size_t off = 0;
        while (off + sizeof(rtnexthop) <= a.size) {
            rtnexthop hop;
            std::memcpy(&hop, a.data + off, sizeof hop);
            if (hop.rtnh_len < sizeof hop || hop.rtnh_len > a.size - off ||
                hop.rtnh_ifindex != index)
                return false;
            off += RTNH_ALIGN(hop.rtnh_len);
        }
    }
    return true;
}

bool sysctl_ok(const std::pair<std::string, std::string>& entry) {
    const auto& value = entry.second;
    return valid_sysctl_key(entry.first) && value.size() < 256 &&
           value.find_first_of("\r\n") == std::string::npos;
}

} // namespace

std::string held_namespace_name(pid_t pid, const std::string& interface) {
    return "quellin-" + std::to_string(pid) + "-" + interface;
}

bool is_held_namespace(const std::string& netns, const std::string& interface, pid_t* pid) {
    const std::string prefix = "quellin-";
    const std::string suffix = "-" + interface;
    if (!valid_interface_name(interface) || netns.size() <= prefix.size() + suffix.size() ||
        netns.compare(0, prefix.size(), prefix) != 0 ||
        netns.compare(netns.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string digits =
        netns.substr(prefix.size(), netns.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 9 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (pid)
        *pid = static_cast<pid_t>(std::strtol(digits.c_str(), nullptr, 10));
    return true;
}

std::optional<std::string> record_problem(const RestoreRecord& r) {
    const InterfaceSettings& s = r.settings;
    if (!valid_interface_name(s.name))
        return "no interface can be named \"" + s.name + "\"";
    if (r.kind == RecordKind::Held) {
        pid_t pid = 0;
        if (!is_held_namespace(r.namespaceName, s.name, &pid))
            return "its namespace " + r.namespaceName + " is none the daemon makes for " + s.name;
        if (r.owner.substr(0, r.owner.find(' ')) != std::to_string(pid))
            return "its namespace " + r.namespaceName + " is not its owner's";
    }
    for (const auto& entry : s.sysctls)
        if (!sysctl_ok(entry))
            return "its sysctl " + entry.first + " is none of " + s.name + "'s own";
    for (const auto& m : s.addresses)
        if (!address_on(m, s.index))
            return "it holds an address of another interface";
    for (const auto& m : s.routes)
        if (!route_only_on(m, s.index))
            return "it holds a route through another interface";
    for (const auto& m : s.neighbours)
        if (!neighbour_on(m, s.index))
            return "it holds a neighbour of another interface";
    return std::nullopt;
}

InterfaceSettings checked_part(const InterfaceSettings& s) {
    InterfaceSettings out;
    out.name = s.name;
    if (!valid_interface_name(s.name))
        return out;
    out.index = s.index;
    out.flags = s.flags;
    out.mtu = s.mtu;
    out.features = s.features;
    out.capturedAt = s.capturedAt;
    for (const auto& entry : s.sysctls)
        if (sysctl_ok(entry))
            out.sysctls.push_back(entry);
    for (const auto& m : s.addresses)
        if (address_on(m, s.index))
            out.addresses.push_back(m);
    for (const auto& m : s.routes)
        if (route_only_on(m, s.index))
            out.routes.push_back(m);
    for (const auto& m : s.neighbours)
        if (neighbour_on(m, s.index))
            out.neighbours.push_back(m);
    return out;
}

} // namespace quellin::edges
