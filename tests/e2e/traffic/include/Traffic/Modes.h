// The four modes of altiren-traffic and their options.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <sys/socket.h>

namespace traffic {

class Options {
public:
    std::string text(const std::string& key, const std::string& fallback = "") const;
    int64_t number(const std::string& key, int64_t fallback) const;
    bool flag(const std::string& key) const { return m_values.count(key) != 0; }
    void set(const std::string& key, const std::string& value) { m_values[key] = value; }

private:
    std::map<std::string, std::string> m_values;
};

// "--name value" pairs; "--list", "--no-checksum" stand alone. Throws on others.
Options parse_options(int argc, char** argv);

// Numeric address and port into a socket address; throws when not numeric.
socklen_t make_address(const std::string& addr, int port, sockaddr_storage* out);
int64_t monotonic_ns();
// The wall clock: the clock of the kernel's receive stamps, so the probes carry it too.
int64_t realtime_ns();

int udp_receive(const Options& opts);
int udp_send(const Options& opts);
int tcp_receive(const Options& opts);
int tcp_send(const Options& opts);

} // namespace traffic
