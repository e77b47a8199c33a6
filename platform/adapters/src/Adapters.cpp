#include "platform/Adapters.h"

#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform::adapters {

namespace {

bool link_local(const Ipv6Address& a) {
    return a[0] == 0xFE && (a[1] & 0xC0) == 0x80;
}

bool global(const Ipv6Address& a) {
    static const Ipv6Address unspecified{};
    static const Ipv6Address loopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return a != unspecified && a != loopback && !link_local(a) && a[0] != 0xFF;
}

} // namespace

Ipv6Address preferred_ipv6(const std::vector<Ipv6Address>& addresses) {
    const Ipv6Address* linkLocal = nullptr;
    for (const Ipv6Address& a : addresses) {
        if (global(a))
            return a;
        if (!linkLocal && link_local(a))
            linkLocal = &a;
    }
    return linkLocal ? *linkLocal : Ipv6Address{};
}

std::optional<AdapterAddresses> query_adapter(const std::string& name) {
    if (name.empty() || ::if_nametoindex(name.c_str()) == 0)
        return std::nullopt;
    AdapterAddresses result;
    result.name = name;

    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    std::vector<Ipv6Address> ipv6;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || !it->ifa_name || name != it->ifa_name)
            continue;
        if (it->ifa_addr->sa_family == AF_INET && !result.hasIpv4) {
            result.ipv4 = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
            if (it->ifa_netmask && it->ifa_netmask->sa_family == AF_INET)
                result.ipv4Mask =
                    reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
            result.hasIpv4 = true;
        } else if (it->ifa_addr->sa_family == AF_INET6) {
            const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(it->ifa_addr)->sin6_addr;
            Ipv6Address bytes;
            std::memcpy(bytes.data(), a.s6_addr, bytes.size());
            ipv6.push_back(bytes);
        }
    }
    ::freeifaddrs(list);
    result.ipv6 = preferred_ipv6(ipv6);
    return result;
}

} // namespace platform::adapters
