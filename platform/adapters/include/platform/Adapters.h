// Addresses of a network interface, standing in for the system's adapter address list.
// An adapter's name and identifier are its interface name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::adapters {

struct AdapterAddresses {
    std::string name;
    bool hasIpv4 = false;
    uint32_t ipv4 = 0;     // first IPv4 address, network byte order
    uint32_t ipv4Mask = 0; // its netmask, network byte order
    // First global IPv6 address, else the first link-local one, else all zero.
    std::array<uint8_t, 16> ipv6{};
};

using Ipv6Address = std::array<uint8_t, 16>;

// The address an adapter is known by among its IPv6 addresses (network byte order, in
// the system's order): the first global one, else the first link-local one, else zero.
Ipv6Address preferred_ipv6(const std::vector<Ipv6Address>& addresses);

// nullopt when no interface of that name exists.
std::optional<AdapterAddresses> query_adapter(const std::string& name);

} // namespace platform::adapters
