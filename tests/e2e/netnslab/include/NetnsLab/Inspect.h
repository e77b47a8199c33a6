// What the kernel of a namespace says: protocol counters, cached path MTUs,
// ping round trips.
#pragma once

#include "NetnsLab/Process.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace netnslab {

// A counter of /proc/net/snmp or /proc/net/snmp6 in `netns`, e.g. ("Udp",
// "InCsumErrors") or ("Udp6", "InCsumErrors"); nothing when absent.
std::optional<uint64_t> snmp_counter(const std::string& netns, const std::string& group,
                                     const std::string& name);

// The MTU that `ip route get` shows for `dest` (a cached path MTU), or nothing.
std::optional<int> route_mtu(const std::string& netns, const std::string& dest);

struct PingResult {
    int transmitted = 0;
    int received = 0;
    int duplicates = 0; // replies that came twice ("DUP!")
    double rtt_min_ms = 0;
    double rtt_avg_ms = 0;
    double rtt_max_ms = 0;
};

// Pings `dest` `count` times, `interval_ms` apart (at least 2 for a non-root
// ping), waiting at most `timeout` for the whole run.
PingResult ping(const std::string& netns, const std::string& dest, int count, int interval_ms = 200,
                Millis timeout = Millis(20000));

// What an interface of `netns` is configured with: the link with its details, its
// addresses, the routes of every table and its static neighbours as `ip -j` shows them,
// its per-interface sysctls and its offloads, a part a line. Lifetimes that count down
// read "counting" (see address_lifetimes). Throws std::runtime_error when `ip` fails.
std::string interface_snapshot(const std::string& netns, const std::string& ifname);

struct Lifetimes {
    uint64_t valid = 0;
    uint64_t preferred = 0;
};
// The lifetimes of each address of an interface, by address.
std::map<std::string, Lifetimes> address_lifetimes(const std::string& netns,
                                                   const std::string& ifname);

// Parsers of the texts above, apart for testing.
std::string mask_counting_lifetimes(const std::string& json);
std::map<std::string, Lifetimes> parse_address_lifetimes(const std::string& json);
std::optional<uint64_t> parse_snmp(const std::string& text, const std::string& group,
                                   const std::string& name);
std::optional<int> parse_route_mtu(const std::string& text);
PingResult parse_ping(const std::string& text);

} // namespace netnslab
