// Reading the result lines of altiren-traffic: "<kind> key=value key=value ...".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace netnslab {

struct Report {
    std::string kind;
    std::map<std::string, std::string> fields;

    bool has(const std::string& key) const { return fields.count(key) != 0; }
    // The field as a number; throws std::runtime_error when missing or not numeric.
    double num(const std::string& key) const;
    uint64_t count(const std::string& key) const;
};

std::optional<Report> parse_report(const std::string& line);
// The last line of `text` whose first word is `kind`.
std::optional<Report> find_report(const std::string& text, const std::string& kind);

// One "pkt" line of a listing receiver.
struct PacketLine {
    uint32_t seq = 0;
    double delay_us = 0;
    uint32_t size = 0;
    bool corrupt = false;
};

// Every "pkt" line of `text`, in arrival order.
std::vector<PacketLine> packet_lines(const std::string& text);

} // namespace netnslab
