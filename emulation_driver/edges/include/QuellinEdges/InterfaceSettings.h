// What an interface is configured with, as the daemon captures it before it changes
// anything: its link settings, offload features, per-interface sysctls, addresses (with
// their flags and lifetimes), the routes through it and its static neighbours. The same
// settings can be given to another interface (the station's TAP) or back to the same one
// once it has returned from the daemon's namespace, which loses every one of them.
#pragma once

#include "QuellinEdges/Log.h"
#include "QuellinEdges/Netlink.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quellin::edges {

struct InterfaceSettings {
    std::string name;
    int index = 0;
    uint32_t flags = 0; // IFF_UP, IFF_PROMISC, IFF_ALLMULTI, ...
    uint32_t mtu = 0;
    std::vector<uint32_t> features; // requested offload feature words
    // "ipv4/conf/rp_filter" -> "2": the files of /proc/sys/net/{ipv4,ipv6}/{conf,neigh}/NAME
    // that differ from the namespace's "default" ones, which an interface new to the
    // namespace starts with.
    std::vector<std::pair<std::string, std::string>> sysctls;
    std::vector<nl::Message> addresses;  // RTM_NEWADDR, in the kernel's order
    std::vector<nl::Message> routes;     // RTM_NEWROUTE of every table, through the interface
    std::vector<nl::Message> neighbours; // RTM_NEWNEIGH, permanent entries only
    uint64_t capturedAt = 0;             // seconds of CLOCK_BOOTTIME
};

// Whether `key` names a per-interface sysctl as captured: one of the folders above and a
// plain file name in it ("ipv4/conf/rp_filter"), nothing that leads elsewhere.
bool valid_sysctl_key(const std::string& key);

// Seconds of CLOCK_BOOTTIME, the clock address and route lifetimes run on.
uint64_t boottime_seconds();

// The settings of an interface of the calling thread's namespace; nullopt with a reason.
std::optional<InterfaceSettings> capture_settings(const std::string& name, std::string& error);

// What apply_settings gives.
enum class SettingsTarget {
    Copy,    // another interface takes the station's part: no offload or flag but UP
    Restore, // the interface itself, back where it was: everything
};

// Gives the interface `name` (index `index`, in the calling thread's namespace) the
// captured settings: sysctls, MTU, features and flags (Restore only), UP, addresses with
// what is left of their lifetimes, routes and neighbours moved onto it. Duplicate
// address detection is held off while the addresses go on: they were in use a moment
// ago. Every part is tried; what fails is logged as a warning. False when anything failed.
// A sysctl whose key is not valid_sysctl_key() is never written.
bool apply_settings(const InterfaceSettings& settings, const std::string& name, int index,
                    SettingsTarget target, const LogSink& log);

// The pieces of apply_settings, apart for tests: the request that puts one captured
// message onto interface `index` (named `name`), `elapsed` seconds after the capture;
// nullopt when it is not to be put back (made by the kernel itself, expired, or through
// something that cannot follow).
std::optional<nl::Message> address_request(const nl::Message& captured, int index,
                                           const std::string& name, const std::string& oldName,
                                           uint64_t elapsed);
std::optional<nl::Message> route_request(const nl::Message& captured, int oldIndex, int index,
                                         uint64_t elapsed);
std::optional<nl::Message> neighbour_request(const nl::Message& captured, int index);
// Whether a captured route goes through interface `index` (directly or as one of its
// next hops).
bool route_uses(const nl::Message& route, int index);

} // namespace quellin::edges
