// What the kernel of a namespace says: protocol counters, cached path MTUs,
// ping round trips.
#pragma once

#include "NetnsLab/Process.h"

#include <cstdint>
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
    double rtt_min_ms = 0;
    double rtt_avg_ms = 0;
    double rtt_max_ms = 0;
};

// Pings `dest` `count` times, `interval_ms` apart (at least 2 for a non-root
// ping), waiting at most `timeout` for the whole run.
PingResult ping(const std::string& netns, const std::string& dest, int count, int interval_ms = 200,
                Millis timeout = Millis(20000));

// Parsers of the texts above, apart for testing.
std::optional<uint64_t> parse_snmp(const std::string& text, const std::string& group,
                                   const std::string& name);
std::optional<int> parse_route_mtu(const std::string& text);
PingResult parse_ping(const std::string& text);

} // namespace netnslab
