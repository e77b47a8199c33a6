// The daemon's adapters as a client in this namespace finds them: each with the IPv4
// address its interface has here, the one the control library matches a play against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace altiren_play {

struct DaemonAdapter {
    uint16_t number = 0;
    std::string name;
    bool present = false; // the interface is in this namespace
    uint32_t ipv4 = 0;    // network order; 0 when it has none
};

// Nullopt with a reason when the daemon cannot be asked.
std::optional<std::vector<DaemonAdapter>> daemon_adapters(std::string& error);

} // namespace altiren_play
