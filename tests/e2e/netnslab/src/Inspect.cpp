#include "NetnsLab/Inspect.h"

#include "NetnsLab/Netns.h"
#include "NetnsLab/Offloads.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace netnslab {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

std::optional<uint64_t> to_u64(const std::string& s) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    try {
        return std::stoull(s);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<uint64_t> parse_snmp(const std::string& text, const std::string& group,
                                   const std::string& name) {
    // snmp: a "Group: names..." line followed by a "Group: values..." line.
    // snmp6: "<Group><Name> value" per line.
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> header;
    while (std::getline(in, line)) {
        auto w = words(line);
        if (w.empty())
            continue;
        if (w.size() == 2 && w[0] == group + name)
            return to_u64(w[1]);
        if (w[0] != group + ":")
            continue;
        if (header.empty()) {
            header = w;
            continue;
        }
        for (std::size_t i = 1; i < header.size() && i < w.size(); ++i)
            if (header[i] == name)
                return to_u64(w[i]);
        header.clear();
    }
    return std::nullopt;
}

std::optional<uint64_t> snmp_counter(const std::string& netns, const std::string& group,
                                     const std::string& name) {
    bool v6 = !group.empty() && group.back() == '6';
    RunResult r = run(netns, {"cat", v6 ? "/proc/net/snmp6" : "/proc/net/snmp"});
    if (!r.ok())
        return std::nullopt;
    return parse_snmp(r.out, group, name);
}

std::optional<int> parse_route_mtu(const std::string& text) {
    auto w = words(text);
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != "mtu")
            continue;
        // A path MTU below the kernel's floor is shown locked: "mtu lock 552".
        const std::size_t at = w[i + 1] == "lock" ? i + 2 : i + 1;
        if (at < w.size())
            if (auto v = to_u64(w[at]); v && *v < 1u << 20)
                return static_cast<int>(*v);
    }
    return std::nullopt;
}

std::optional<int> route_mtu(const std::string& netns, const std::string& dest) {
    RunResult r = run(netns, {"ip", "route", "get", dest});
    if (!r.ok())
        return std::nullopt;
    return parse_route_mtu(r.out);
}

PingResult parse_ping(const std::string& text) {
    PingResult p;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        int tx = 0, rx = 0, dup = 0;
        if (std::sscanf(line.c_str(), "%d packets transmitted, %d received, +%d duplicates", &tx,
                        &rx, &dup) >= 2) {
            p.transmitted = tx;
            p.received = rx;
            p.duplicates = dup;
        }
        auto eq = line.find(" = ");
        if (line.rfind("rtt ", 0) == 0 || line.rfind("round-trip ", 0) == 0) {
            if (eq != std::string::npos)
                std::sscanf(line.c_str() + eq + 3, "%lf/%lf/%lf", &p.rtt_min_ms, &p.rtt_avg_ms,
                            &p.rtt_max_ms);
        }
    }
    return p;
}

PingResult ping(const std::string& netns, const std::string& dest, int count, int interval_ms,
                Millis timeout) {
    char interval[32];
    std::snprintf(interval, sizeof interval, "%.3f", interval_ms / 1000.0);
    std::vector<std::string> argv{"ping", "-n",     "-c", std::to_string(count),
                                  "-i",   interval, "-W", "2"};
    if (dest.find(':') != std::string::npos)
        argv.insert(argv.begin() + 1, "-6");
    argv.push_back(dest);
    return parse_ping(run(netns, argv, timeout).out);
}

std::string mask_counting_lifetimes(const std::string& json) {
    static const std::regex lifetime(
        R"re("(valid_life_time|preferred_life_time|expires)":(\d+))re");
    std::string out;
    auto it = std::sregex_iterator(json.begin(), json.end(), lifetime);
    size_t at = 0;
    for (; it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        out += json.substr(at, static_cast<size_t>(m.position()) - at);
        out += m[2] == "4294967295" ? m.str() : "\"" + m[1].str() + "\":\"counting\"";
        at = static_cast<size_t>(m.position() + m.length());
    }
    return out + json.substr(at);
}

std::map<std::string, Lifetimes> parse_address_lifetimes(const std::string& json) {
    static const std::regex entry(
        R"re("local":"([^"]+)"[^{}]*?"valid_life_time":(\d+),"preferred_life_time":(\d+))re");
    std::map<std::string, Lifetimes> out;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), entry);
         it != std::sregex_iterator(); ++it)
        out[(*it)[1]] = {std::stoull((*it)[2]), std::stoull((*it)[3])};
    return out;
}

std::map<std::string, Lifetimes> address_lifetimes(const std::string& netns,
                                                   const std::string& ifname) {
    return parse_address_lifetimes(
        run_checked(netns, {"ip", "-j", "address", "show", "dev", ifname}));
}

std::string interface_snapshot(const std::string& netns, const std::string& ifname) {
    std::string out;
    auto part = [&](const std::string& name, std::vector<std::string> argv) {
        out += name + " " + mask_counting_lifetimes(run_checked(netns, argv));
        if (!out.empty() && out.back() != '\n')
            out += '\n';
    };
    part("link", {"ip", "-j", "-d", "link", "show", "dev", ifname});
    part("addresses", {"ip", "-j", "address", "show", "dev", ifname});
    part("routes4", {"ip", "-j", "-4", "route", "show", "table", "all"});
    part("routes6", {"ip", "-j", "-6", "route", "show", "table", "all"});
    part("neighbours", {"ip", "-j", "neigh", "show", "dev", ifname, "nud", "permanent"});
    {
        NetnsGuard in(netns);
        for (const char* folder : {"ipv4/conf", "ipv6/conf", "ipv4/neigh", "ipv6/neigh"}) {
            const std::filesystem::path dir =
                std::filesystem::path("/proc/sys/net") / folder / ifname;
            std::vector<std::string> names;
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(dir, ec))
                names.push_back(e.path().filename().string());
            std::sort(names.begin(), names.end());
            for (const auto& n : names) {
                std::ifstream in(dir / n);
                std::string value;
                if (std::getline(in, value))
                    out += std::string("sysctl ") + folder + "/" + n + "=" + value + "\n";
            }
        }
    }
    const Offloads o = read_offloads(netns, ifname);
    out += "offloads tx-checksum=" + std::to_string(o.tx_checksum) +
           " sg=" + std::to_string(o.scatter_gather) + " tso=" + std::to_string(o.tso) +
           " gso=" + std::to_string(o.gso) + " gro=" + std::to_string(o.gro) + "\n";
    return out;
}

} // namespace netnslab
