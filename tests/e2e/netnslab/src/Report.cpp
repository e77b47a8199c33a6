#include "NetnsLab/Report.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <stdexcept>

namespace netnslab {

double Report::num(const std::string& key) const {
    auto it = fields.find(key);
    if (it == fields.end())
        throw std::runtime_error(kind + " report has no field '" + key + "'");
    std::size_t used = 0;
    double v = 0;
    try {
        v = std::stod(it->second, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != it->second.size())
        throw std::runtime_error(kind + " report field '" + key + "' is not a number: '" +
                                 it->second + "'");
    return v;
}

uint64_t Report::count(const std::string& key) const {
    double v = num(key);
    if (v < 0)
        throw std::runtime_error(kind + " report field '" + key + "' is negative");
    return static_cast<uint64_t>(v);
}

std::optional<Report> parse_report(const std::string& line) {
    std::istringstream in(line);
    Report r;
    if (!(in >> r.kind) || r.kind.find('=') != std::string::npos)
        return std::nullopt;
    std::string word;
    while (in >> word) {
        auto eq = word.find('=');
        if (eq == std::string::npos || eq == 0)
            return std::nullopt;
        r.fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return r;
}

std::optional<Report> find_report(const std::string& text, const std::string& kind) {
    std::optional<Report> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(kind + " ", 0) != 0)
            continue;
        if (auto r = parse_report(line))
            found = std::move(r);
    }
    return found;
}

std::vector<PacketLine> packet_lines(const std::string& text) {
    std::vector<PacketLine> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("pkt ", 0) != 0)
            continue;
        auto r = parse_report(line);
        if (!r)
            continue;
        PacketLine p;
        p.seq = static_cast<uint32_t>(r->count("seq"));
        p.delay_us = r->num("delay_us");
        p.size = static_cast<uint32_t>(r->count("size"));
        p.corrupt = r->count("corrupt") != 0;
        out.push_back(p);
    }
    return out;
}

std::vector<uint32_t> missing_sequences(const std::vector<PacketLine>& packets, uint32_t expected) {
    std::vector<bool> seen(expected, false);
    for (const auto& p : packets)
        if (p.seq < expected)
            seen[p.seq] = true;
    std::vector<uint32_t> out;
    for (uint32_t s = 0; s < expected; ++s)
        if (!seen[s])
            out.push_back(s);
    return out;
}

std::map<uint32_t, int> displacements(const std::vector<PacketLine>& packets) {
    std::vector<uint32_t> order;
    std::set<uint32_t> seen;
    for (const auto& p : packets)
        if (seen.insert(p.seq).second)
            order.push_back(p.seq);
    std::vector<uint32_t> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    std::map<uint32_t, int> out;
    for (std::size_t pos = 0; pos < order.size(); ++pos) {
        auto rank = std::lower_bound(sorted.begin(), sorted.end(), order[pos]) - sorted.begin();
        int d = static_cast<int>(pos) - static_cast<int>(rank);
        if (d != 0)
            out[order[pos]] = d;
    }
    return out;
}

std::map<uint32_t, int> copies(const std::vector<PacketLine>& packets) {
    std::map<uint32_t, int> count;
    for (const auto& p : packets)
        ++count[p.seq];
    std::map<uint32_t, int> out;
    for (const auto& [seq, n] : count)
        if (n > 1)
            out[seq] = n;
    return out;
}

} // namespace netnslab
