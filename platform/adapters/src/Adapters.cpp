#include "platform/Adapters.h"

#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform::adapters {

namespace {

bool link_local(const in6_addr& a) {
    return a.s6_addr[0] == 0xFE && (a.s6_addr[1] & 0xC0) == 0x80;
}

bool global(const in6_addr& a) {
    return !IN6_IS_ADDR_UNSPECIFIED(&a) && !IN6_IS_ADDR_LOOPBACK(&a) && !link_local(a) &&
           !IN6_IS_ADDR_MULTICAST(&a);
}

} // namespace

std::optional<AdapterAddresses> query_adapter(const std::string& name) {
    if (name.empty() || ::if_nametoindex(name.c_str()) == 0)
        return std::nullopt;
    AdapterAddresses result;
    result.name = name;

    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    bool haveGlobal = false, haveLinkLocal = false;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || !it->ifa_name || name != it->ifa_name)
            continue;
        if (it->ifa_addr->sa_family == AF_INET && !result.hasIpv4) {
            result.ipv4 = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
            result.hasIpv4 = true;
        } else if (it->ifa_addr->sa_family == AF_INET6) {
            const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(it->ifa_addr)->sin6_addr;
            if (!haveGlobal && global(a)) {
                std::memcpy(result.ipv6.data(), a.s6_addr, 16);
                haveGlobal = true;
            } else if (!haveGlobal && !haveLinkLocal && link_local(a)) {
                std::memcpy(result.ipv6.data(), a.s6_addr, 16);
                haveLinkLocal = true;
            }
        }
    }
    ::freeifaddrs(list);
    return result;
}

} // namespace platform::adapters
