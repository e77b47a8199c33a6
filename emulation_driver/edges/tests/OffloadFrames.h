// Hand-made frames for the offload tests, and checks of their checksums.
#pragma once

#include "QuellinEdges/Offload.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

#include <cstring>
#include <vector>

namespace quellin::edges_test {

using namespace quellin::edges;

inline constexpr uint8_t kTcp = 6;
inline constexpr uint8_t kUdp = 17;

inline std::vector<uint8_t> ethernet(uint16_t type, int vlanTags = 0) {
    std::vector<uint8_t> f(12, 0x02);
    for (int i = 0; i < vlanTags; ++i)
        f.insert(f.end(), {0x81, 0x00, 0x00, static_cast<uint8_t>(i + 1)});
    f.push_back(static_cast<uint8_t>(type >> 8));
    f.push_back(static_cast<uint8_t>(type));
    return f;
}

// An IPv4 packet of `protocol` with a transport header of `header` bytes and `payload`
// bytes (a counting pattern); the transport checksum field holds garbage.
inline std::vector<uint8_t> ipv4(uint8_t protocol, size_t header, size_t payload,
                                 int vlanTags = 0) {
    auto f = ethernet(0x0800, vlanTags);
    const size_t ip = f.size();
    f.resize(ip + 20 + header + payload, 0);
    f[ip] = 0x45;
    wire::put_be16(f.data(), ip + 2, static_cast<uint16_t>(20 + header + payload));
    wire::put_be16(f.data(), ip + 4, 0x1234);
    wire::put_be16(f.data(), ip + 6, 0x4000); // don't fragment
    f[ip + 8] = 64;
    f[ip + 9] = protocol;
    const uint8_t addresses[8] = {198, 18, 0, 1, 198, 18, 0, 2};
    std::memcpy(f.data() + ip + 12, addresses, 8);
    const size_t t = ip + 20;
    wire::put_be16(f.data(), t, 40000);
    wire::put_be16(f.data(), t + 2, 80);
    if (protocol == kTcp) {
        wire::put_be32(f.data(), t + 4, 1000);
        f[t + 12] = static_cast<uint8_t>((header / 4) << 4);
        f[t + 13] = 0x18 | 0x01 | 0x80; // PSH ACK FIN CWR
        wire::put_be16(f.data(), t + 16, 0xBEEF);
    } else {
        wire::put_be16(f.data(), t + 4, static_cast<uint16_t>(header + payload));
        wire::put_be16(f.data(), t + 6, 0xBEEF);
    }
    for (size_t i = 0; i < payload; ++i)
        f[t + header + i] = static_cast<uint8_t>(i * 7 + 3);
    return f;
}

// IPv6 with a hop-by-hop header of 8 bytes before the transport header.
inline std::vector<uint8_t> ipv6(uint8_t protocol, size_t header, size_t payload) {
    auto f = ethernet(0x86DD);
    const size_t ip = f.size();
    f.resize(ip + 40 + 8 + header + payload, 0);
    f[ip] = 0x60;
    wire::put_be16(f.data(), ip + 4, static_cast<uint16_t>(8 + header + payload));
    f[ip + 6] = 0; // hop-by-hop
    f[ip + 7] = 64;
    for (int i = 0; i < 16; ++i) {
        f[ip + 8 + i] = static_cast<uint8_t>(0x20 + i);
        f[ip + 24 + i] = static_cast<uint8_t>(0x40 + i);
    }
    f[ip + 40] = protocol; // next header after hop-by-hop, length 0 (8 bytes)
    const size_t t = ip + 48;
    if (protocol == kTcp) {
        wire::put_be32(f.data(), t + 4, 7);
        f[t + 12] = static_cast<uint8_t>((header / 4) << 4);
        f[t + 13] = 0x18;
    } else {
        wire::put_be16(f.data(), t + 4, static_cast<uint16_t>(header + payload));
    }
    for (size_t i = 0; i < payload; ++i)
        f[t + header + i] = static_cast<uint8_t>(i * 5 + 1);
    return f;
}

// IPv6 TCP on its way through a routing header of `type` (2, or 4 for segment routing)
// with one segment left: the IPv6 header holds the next hop (0x40...), the routing header
// the final destination (0x60...).
inline std::vector<uint8_t> ipv6_routed(uint8_t type, size_t payload) {
    auto f = ethernet(0x86DD);
    const size_t ip = f.size();
    const size_t routing = type == 4 ? 40 : 24; // segment routing lists the next hop too
    f.resize(ip + 40 + routing + 20 + payload, 0);
    f[ip] = 0x60;
    wire::put_be16(f.data(), ip + 4, static_cast<uint16_t>(routing + 20 + payload));
    f[ip + 6] = 43;
    f[ip + 7] = 64;
    const size_t r = ip + 40;
    f[r] = kTcp;
    f[r + 1] = static_cast<uint8_t>(routing / 8 - 1);
    f[r + 2] = type;
    f[r + 3] = 1; // segments left
    for (int i = 0; i < 16; ++i) {
        f[ip + 8 + i] = static_cast<uint8_t>(0x20 + i);
        f[ip + 24 + i] = static_cast<uint8_t>(0x40 + i);
        f[r + 8 + i] = static_cast<uint8_t>(0x60 + i); // the last address, or the first listed
        if (type == 4)
            f[r + 24 + i] = static_cast<uint8_t>(0x40 + i);
    }
    const size_t t = r + routing;
    wire::put_be32(f.data(), t + 4, 7);
    f[t + 12] = 5 << 4;
    f[t + 13] = 0x18;
    for (size_t i = 0; i < payload; ++i)
        f[t + 20 + i] = static_cast<uint8_t>(i * 3 + 1);
    return f;
}

// The pseudo header of a frame's TCP or UDP segment, laid out anew.
inline std::vector<uint8_t> pseudo_header(const std::vector<uint8_t>& f, const IpLayout& l) {
    std::vector<uint8_t> p;
    p.reserve(40); // grown in place: GCC 12 takes the growth of an empty vector for an overflow
    const size_t segment = l.end - l.transport;
    if (l.version == 4) {
        p.insert(p.end(), f.begin() + static_cast<long>(l.ip) + 12,
                 f.begin() + static_cast<long>(l.ip) + 20);
        p.insert(p.end(), {0, l.protocol, static_cast<uint8_t>(segment >> 8),
                           static_cast<uint8_t>(segment)});
    } else {
        p.insert(p.end(), f.begin() + static_cast<long>(l.ip) + 8,
                 f.begin() + static_cast<long>(l.ip) + 40);
        p.insert(p.end(), {0, 0, static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment),
                           0, 0, 0, l.protocol});
    }
    return p;
}

// The pseudo header and the segment summed with the shared routine: a right checksum folds
// the sum to all ones (0 is sent as 0xFFFF, the same in ones' complement).
inline bool transport_verifies(const std::vector<uint8_t>& f) {
    const auto l = ip_layout(f.data(), f.size());
    if (!l)
        return false;
    const auto pseudo = pseudo_header(f, *l);
    const uint32_t sum = wire::internet_sum(pseudo.data(), pseudo.size());
    return wire::internet_fold(
               wire::internet_sum(f.data() + l->transport, l->end - l->transport, sum)) == 0xFFFF;
}

// What a stack leaves for a card to finish: the folded pseudo header sum in the checksum
// field at `field` bytes into the transport header.
inline void put_partial_checksum(std::vector<uint8_t>& f, size_t field) {
    const auto l = ip_layout(f.data(), f.size());
    const auto pseudo = pseudo_header(f, *l);
    wire::put_be16(f.data(), l->transport + field,
                   wire::internet_fold(wire::internet_sum(pseudo.data(), pseudo.size())));
}

inline bool ipv4_header_verifies(const std::vector<uint8_t>& f, size_t ip) {
    return wire::internet_checksum(f.data() + ip, 20) == 0xFFFF;
}

} // namespace quellin::edges_test
