#include "QuellinEdges/Bindings.h"

#include <cctype>
#include <set>

namespace quellin::edges {

bool valid_interface_name(const std::string& name) {
    if (name.empty() || name.size() > 15 || name == "." || name == "..")
        return false;
    for (unsigned char c : name)
        if (c == '/' || c == ':' || c == '=' || std::isspace(c) || c < 0x21 || c > 0x7E)
            return false;
    return true;
}

namespace {
// A list of bindings in one string ("tap:a=eth0,tap:b=eth1") would otherwise read as one
// binding with an odd interface name.
bool holds_a_list(const std::string& text) {
    return text.find(",tap:") != std::string::npos || text.find(",if:") != std::string::npos;
}
} // namespace

std::optional<Binding> parse_binding(const std::string& text, std::string& error) {
    if (holds_a_list(text)) {
        error = "binding '" + text +
                "' holds more than one: give one binding per string (a value of type "
                "REG_MULTI_SZ, one argument each; --bind once for each)";
        return std::nullopt;
    }
    Binding b;
    std::string rest;
    if (text.rfind("tap:", 0) == 0) {
        b.kind = StationKind::Tap;
        rest = text.substr(4);
    } else if (text.rfind("if:", 0) == 0) {
        b.kind = StationKind::Interface;
        rest = text.substr(3);
    } else {
        error = "binding '" + text + "' does not start with 'tap:' or 'if:'";
        return std::nullopt;
    }
    const auto eq = rest.find('=');
    if (eq == std::string::npos) {
        error = "binding '" + text + "' has no '=' between station and lower interface";
        return std::nullopt;
    }
    b.station = rest.substr(0, eq);
    b.lower = rest.substr(eq + 1);
    if (!valid_interface_name(b.station) || !valid_interface_name(b.lower)) {
        error = "binding '" + text + "' names an invalid interface";
        if (text.find(',') != std::string::npos)
            error += ": give one binding per string";
        return std::nullopt;
    }
    if (b.station == b.lower) {
        error = "binding '" + text + "' uses one interface for both sides";
        return std::nullopt;
    }
    return b;
}

std::string format_binding(const Binding& binding) {
    return (binding.kind == StationKind::Tap ? "tap:" : "if:") + binding.station + "=" +
           binding.lower;
}

std::optional<std::vector<Binding>> parse_bindings(const std::vector<std::string>& texts,
                                                   std::string& error) {
    std::vector<Binding> out;
    std::set<std::string> names;
    for (const auto& text : texts) {
        auto b = parse_binding(text, error);
        if (!b)
            return std::nullopt;
        for (const auto* name : {&b->station, &b->lower}) {
            if (!names.insert(*name).second) {
                error = "interface '" + *name + "' is bound more than once";
                return std::nullopt;
            }
        }
        out.push_back(*b);
    }
    return out;
}

} // namespace quellin::edges
