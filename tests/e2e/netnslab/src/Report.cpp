#include "NetnsLab/Report.h"

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

} // namespace netnslab
