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

// Sequence numbers below `expected` that never arrived, ascending.
std::vector<uint32_t> missing_sequences(const std::vector<PacketLine>& packets, uint32_t expected);

// How far each packet arrived from its place: arrival position among first
// copies minus its rank by sequence number. A packet held back behind three
// others has +3 (and each of those three -1). Only non-zero entries, by sequence.
std::map<uint32_t, int> displacements(const std::vector<PacketLine>& packets);

// Copies of each sequence number that arrived more than once.
std::map<uint32_t, int> copies(const std::vector<PacketLine>& packets);

} // namespace netnslab
