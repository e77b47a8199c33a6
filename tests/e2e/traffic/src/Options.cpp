#include "Traffic/Modes.h"

#include <arpa/inet.h>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <stdexcept>

namespace traffic {

namespace {

bool is_flag(const std::string& key) {
    return key == "list" || key == "no-checksum";
}

} // namespace

std::string Options::text(const std::string& key, const std::string& fallback) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : it->second;
}

int64_t Options::number(const std::string& key, int64_t fallback) const {
    auto it = m_values.find(key);
    if (it == m_values.end())
        return fallback;
    std::size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(it->second, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != it->second.size() || v < 0)
        throw std::runtime_error("--" + key + " wants a non-negative number, not '" + it->second +
                                 "'");
    return v;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0 || arg.size() < 3)
            throw std::runtime_error("unexpected argument '" + arg + "'");
        std::string key = arg.substr(2);
        if (is_flag(key)) {
            o.set(key, "1");
            continue;
        }
        if (i + 1 >= argc)
            throw std::runtime_error("--" + key + " wants a value");
        o.set(key, argv[++i]);
    }
    return o;
}

socklen_t make_address(const std::string& addr, int port, sockaddr_storage* out) {
    std::memset(out, 0, sizeof *out);
    if (port <= 0 || port > 65535)
        throw std::runtime_error("bad port " + std::to_string(port));
    auto* v4 = reinterpret_cast<sockaddr_in*>(out);
    if (inet_pton(AF_INET, addr.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        return sizeof(sockaddr_in);
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
    if (inet_pton(AF_INET6, addr.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        return sizeof(sockaddr_in6);
    }
    throw std::runtime_error("not a numeric address: '" + addr + "'");
}

int64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t realtime_ns() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace traffic
