// Builds Ethernet frames for the driver's tests.
#pragma once

#include "quellin_wire/ByteOrder.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quellin::test {

constexpr uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

inline void put_be16(std::vector<uint8_t>& f, size_t off, uint16_t v) {
    wire::put_be16(f.data(), off, v);
}

inline void put_be32(std::vector<uint8_t>& f, size_t off, uint32_t v) {
    wire::put_be32(f.data(), off, v);
}

// Ethernet II frame with an IPv4 packet of `ipLength` bytes (header of 20, UDP payload).
// `tag` lands in the first payload byte so tests can tell packets apart.
inline std::vector<uint8_t> ipv4_frame(uint32_t src, uint32_t dst, uint16_t ipLength = 100,
                                       uint8_t tag = 0) {
    std::vector<uint8_t> f(14 + ipLength, 0);
    for (int i = 0; i < 6; ++i) {
        f[i] = 0x02;
        f[6 + i] = 0x04;
    }
    f[5] = 0x01;
    f[11] = 0x02;
    put_be16(f, 12, 0x0800);
    f[14] = 0x45;
    put_be16(f, 16, ipLength);
    f[22] = 64;
    f[23] = 17;
    put_be32(f, 26, src);
    put_be32(f, 30, dst);
    if (ipLength > 28)
        f[14 + 28] = tag;
    return f;
}

// 802.3 frame with an LLC/SNAP header carrying the same IPv4 packet.
inline std::vector<uint8_t> snap_ipv4_frame(uint32_t src, uint32_t dst, uint16_t ipLength = 100) {
    const auto eth = ipv4_frame(src, dst, ipLength);
    std::vector<uint8_t> f(22 + ipLength, 0);
    std::copy(eth.begin(), eth.begin() + 12, f.begin());
    put_be16(f, 12, static_cast<uint16_t>(8 + ipLength));
    f[14] = 0xAA;
    f[15] = 0xAA;
    f[16] = 0x03;
    put_be16(f, 20, 0x0800);
    std::copy(eth.begin() + 14, eth.end(), f.begin() + 22);
    return f;
}

inline std::vector<uint8_t> ipv6_frame(const std::array<uint8_t, 16>& src,
                                       const std::array<uint8_t, 16>& dst, uint16_t payload = 40) {
    std::vector<uint8_t> f(14 + 40 + payload, 0);
    put_be16(f, 12, 0x86DD);
    f[14] = 0x60;
    put_be16(f, 18, payload);
    f[20] = 17;
    f[21] = 64;
    std::copy(src.begin(), src.end(), f.begin() + 22);
    std::copy(dst.begin(), dst.end(), f.begin() + 38);
    return f;
}

inline std::vector<uint8_t> arp_frame() {
    std::vector<uint8_t> f(42, 0);
    put_be16(f, 12, 0x0806);
    return f;
}

} // namespace quellin::test
