// What the daemon binds: per adapter a station side (a TAP device it makes, or an existing
// interface read with a packet socket) and the lower interface.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quellin::edges {

enum class StationKind { Tap, Interface };

struct Binding {
    StationKind kind = StationKind::Tap;
    std::string station; // the TAP's name or the station interface
    std::string lower;   // the real interface
    bool operator==(const Binding&) const = default;
};

// A Linux interface name: 1 to 15 bytes, no '/', ':', '=' or white space, not "." or "..".
bool valid_interface_name(const std::string& name);

// "tap:NAME=LOWER" or "if:STATION=LOWER"; nullopt with a reason otherwise.
std::optional<Binding> parse_binding(const std::string& text, std::string& error);
std::string format_binding(const Binding& binding);

// A list of bindings, from the registry's "Bindings" or from --bind options. Refuses the
// whole list when one entry is malformed, when an interface is used twice, or when a
// station side names another binding's lower interface.
std::optional<std::vector<Binding>> parse_bindings(const std::vector<std::string>& texts,
                                                   std::string& error);

} // namespace quellin::edges
