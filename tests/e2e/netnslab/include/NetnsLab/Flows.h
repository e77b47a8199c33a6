// Runs altiren-traffic between two namespaces: the receiver first (until it
// reports ready), then the sender, then both results.
#pragma once

#include "NetnsLab/Process.h"
#include "NetnsLab/Report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace netnslab {

// Path of altiren-traffic: $ALTIREN_TRAFFIC when set, else the one built beside the tests.
std::string traffic_program();

struct UdpFlow {
    std::string from;   // namespace of the sender
    std::string to;     // namespace of the receiver
    std::string dest;   // receiver address (numeric, IPv4 or IPv6)
    std::string source; // sender address; "" for the kernel's choice
    int port = 47000;
    uint64_t count = 1000;
    std::size_t size = 64; // UDP payload bytes, at least 24
    uint64_t rate = 0;     // packets per second; 0 = as fast as the sender goes
    bool list = false;     // keep every packet's line
    bool no_checksum = false;
    std::string df;        // "on" (don't fragment), "off", or "" for the kernel's default
    Millis timeout{10000}; // whole run, receiver included
    Millis idle{1000};     // receiver ends this long after the last packet
    Millis linger{0};      // ... or this long after the last expected one
};

struct UdpResult {
    Report send;
    Report recv;
    std::vector<PacketLine> packets; // when listed
};

// Throws std::runtime_error (with both programs' stderr) when a side fails or reports nothing.
UdpResult run_udp(const UdpFlow& flow);

struct TcpFlow {
    std::string from;
    std::string to;
    std::string dest;
    int port = 47001;
    uint64_t bytes = 16 << 20;
    Millis timeout{20000};
};

struct TcpResult {
    Report send;
    Report recv;
};

TcpResult run_tcp(const TcpFlow& flow);

} // namespace netnslab
