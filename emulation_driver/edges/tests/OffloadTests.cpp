// Checksums and segments finished for a sender that left them to offload. A checksum is
// verified over the pseudo header and the segment laid out by the test itself: the sum of
// a correct segment with its checksum in place folds to all ones.
#include "QuellinEdges/Offload.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

using namespace quellin;
using namespace quellin::edges;

namespace {

constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;

std::vector<uint8_t> ethernet(uint16_t type, int vlanTags = 0) {
    std::vector<uint8_t> f(12, 0x02);
    for (int i = 0; i < vlanTags; ++i)
        f.insert(f.end(), {0x81, 0x00, 0x00, static_cast<uint8_t>(i + 1)});
    f.push_back(static_cast<uint8_t>(type >> 8));
    f.push_back(static_cast<uint8_t>(type));
    return f;
}

// An IPv4 packet of `protocol` with a transport header of `header` bytes and `payload`
// bytes (a counting pattern); the transport checksum field holds garbage.
std::vector<uint8_t> ipv4(uint8_t protocol, size_t header, size_t payload, int vlanTags = 0) {
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
std::vector<uint8_t> ipv6(uint8_t protocol, size_t header, size_t payload) {
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

// The pseudo header and the segment, laid out anew, summed: 0xFFFF when the checksum in
// the segment is right (internet_checksum gives 0 as 0xFFFF, so a right sum reads 0xFFFF
// there too).
bool transport_verifies(const std::vector<uint8_t>& f) {
    const auto l = ip_layout(f.data(), f.size());
    if (!l)
        return false;
    std::vector<uint8_t> all;
    const size_t segment = l->end - l->transport;
    if (l->version == 4) {
        all.insert(all.end(), f.begin() + static_cast<long>(l->ip) + 12,
                   f.begin() + static_cast<long>(l->ip) + 20);
        all.insert(all.end(), {0, l->protocol, static_cast<uint8_t>(segment >> 8),
                               static_cast<uint8_t>(segment)});
    } else {
        all.insert(all.end(), f.begin() + static_cast<long>(l->ip) + 8,
                   f.begin() + static_cast<long>(l->ip) + 40);
        all.insert(all.end(), {0, 0, static_cast<uint8_t>(segment >> 8),
                               static_cast<uint8_t>(segment), 0, 0, 0, l->protocol});
    }
    all.insert(all.end(), f.begin() + static_cast<long>(l->transport),
               f.begin() + static_cast<long>(l->end));
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < all.size(); i += 2)
        sum += wire::get_be16(all.data(), i);
    if (all.size() % 2)
        sum += static_cast<uint32_t>(all.back()) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum == 0xFFFF;
}

bool ipv4_header_verifies(const std::vector<uint8_t>& f, size_t ip) {
    return wire::internet_checksum(f.data() + ip, 20) == 0xFFFF;
}

} // namespace

TEST(Offload, ChecksumsOfTcpAndUdpOverBothFamiliesAreFinished) {
    std::vector<std::vector<uint8_t>> frames = {ipv4(kUdp, 8, 101), ipv4(kTcp, 32, 1000),
                                                ipv4(kUdp, 8, 0, 2), // two VLAN tags
                                                ipv6(kUdp, 8, 333), ipv6(kTcp, 20, 64)};
    for (auto& f : frames) {
        ASSERT_FALSE(transport_verifies(f));
        EXPECT_TRUE(complete_checksum(f.data(), f.size()));
        EXPECT_TRUE(transport_verifies(f));
    }
    // Padding behind the packet is not summed.
    auto padded = ipv4(kUdp, 8, 4);
    padded.resize(60, 0xAA);
    EXPECT_TRUE(complete_checksum(padded.data(), padded.size()));
    padded.resize(14 + 32);
    EXPECT_TRUE(transport_verifies(padded));
}

TEST(Offload, AUdpChecksumOfZeroIsSentAsAllOnes) {
    // Every value of a payload word: one of them makes the checksum come out as zero.
    auto f = ipv4(kUdp, 8, 2);
    int allOnes = 0;
    for (uint32_t w = 0; w <= 0xFFFF; ++w) {
        wire::put_be16(f.data(), 14 + 28, static_cast<uint16_t>(w));
        ASSERT_TRUE(complete_checksum(f.data(), f.size()));
        const uint16_t c = wire::get_be16(f.data(), 14 + 26);
        ASSERT_NE(c, 0) << w; // 0 would mean "no checksum"
        allOnes += c == 0xFFFF ? 1 : 0;
    }
    EXPECT_GE(allOnes, 1);
}

TEST(Offload, OtherFramesAndFragmentsAreLeftAlone) {
    auto arp = ethernet(0x0806);
    arp.resize(42, 0x11);
    auto copy = arp;
    EXPECT_FALSE(complete_checksum(arp.data(), arp.size()));
    EXPECT_EQ(arp, copy);

    auto fragment = ipv4(kUdp, 8, 100);
    wire::put_be16(fragment.data(), 14 + 6, 0x2000); // more fragments
    copy = fragment;
    EXPECT_FALSE(complete_checksum(fragment.data(), fragment.size()));
    EXPECT_EQ(fragment, copy);

    auto icmp = ipv4(1, 8, 20);
    EXPECT_FALSE(complete_checksum(icmp.data(), icmp.size()));

    // Lengths that do not fit the frame.
    auto cut = ipv4(kTcp, 20, 100);
    cut.resize(cut.size() - 10);
    EXPECT_FALSE(complete_checksum(cut.data(), cut.size()));
    auto shortHeader = ipv4(kTcp, 20, 0);
    shortHeader[14] = 0x44; // IHL 16
    EXPECT_FALSE(complete_checksum(shortHeader.data(), shortHeader.size()));
    EXPECT_FALSE(complete_checksum(arp.data(), 13));
}

TEST(Offload, AnOffloadedTcpPacketIsCutIntoSegmentsThatFitTheMtu) {
    const size_t payload = 4000;
    const auto big = ipv4(kTcp, 32, payload); // 20 bytes of options
    std::vector<uint8_t> scratch;
    std::vector<std::vector<uint8_t>> segments;
    ASSERT_TRUE(segment_tcp(big.data(), big.size(), 1500, scratch,
                            [&](const uint8_t* s, size_t n) { segments.emplace_back(s, s + n); }));
    const size_t mss = 1500 - 20 - 32;
    ASSERT_EQ(segments.size(), (payload + mss - 1) / mss);
    std::vector<uint8_t> joined;
    for (size_t i = 0; i < segments.size(); ++i) {
        const auto& s = segments[i];
        const bool last = i + 1 == segments.size();
        const size_t carried = last ? payload - i * mss : mss;
        EXPECT_EQ(s.size(), 14 + 20 + 32 + carried);
        EXPECT_LE(s.size() - 14, 1500u);
        EXPECT_EQ(wire::get_be16(s.data(), 16), 20 + 32 + carried);
        EXPECT_EQ(wire::get_be16(s.data(), 18), 0x1234 + i); // identification
        EXPECT_TRUE(ipv4_header_verifies(s, 14));
        EXPECT_EQ(wire::get_be32(s.data(), 34 + 4), 1000 + i * mss); // sequence number
        const uint8_t flags = s[34 + 13];
        EXPECT_EQ((flags & 0x01) != 0, last);   // FIN on the last
        EXPECT_EQ((flags & 0x08) != 0, last);   // PSH on the last
        EXPECT_EQ((flags & 0x80) != 0, i == 0); // CWR on the first
        EXPECT_NE(flags & 0x10, 0);             // ACK on every one
        EXPECT_TRUE(std::equal(s.begin() + 34 + 20, s.begin() + 34 + 32, big.begin() + 34 + 20));
        EXPECT_TRUE(transport_verifies(s)) << i;
        joined.insert(joined.end(), s.begin() + 14 + 20 + 32, s.end());
    }
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), big.begin() + 14 + 52));

    const auto big6 = ipv6(kTcp, 20, 3000);
    segments.clear();
    ASSERT_TRUE(segment_tcp(big6.data(), big6.size(), 1280, scratch,
                            [&](const uint8_t* s, size_t n) { segments.emplace_back(s, s + n); }));
    const size_t mss6 = 1280 - 48 - 20;
    ASSERT_EQ(segments.size(), 3u);
    for (size_t i = 0; i < segments.size(); ++i) {
        const auto& s = segments[i];
        EXPECT_EQ(wire::get_be16(s.data(), 18), s.size() - 14 - 40);
        EXPECT_LE(s.size() - 14, 1280u);
        EXPECT_EQ(wire::get_be32(s.data(), 62 + 4), 7 + i * mss6);
        EXPECT_TRUE(transport_verifies(s)) << i;
    }
}

TEST(Offload, WhatNeedsNoCuttingOrCannotBeCutIsNotCut) {
    std::vector<uint8_t> scratch;
    int emitted = 0;
    auto count = [&](const uint8_t*, size_t) { ++emitted; };
    const auto small = ipv4(kTcp, 20, 1000);
    EXPECT_FALSE(segment_tcp(small.data(), small.size(), 1500, scratch, count));
    const auto udp = ipv4(kUdp, 8, 4000);
    EXPECT_FALSE(segment_tcp(udp.data(), udp.size(), 1500, scratch, count));
    const auto bare = ipv4(kTcp, 20, 0); // headers only
    EXPECT_FALSE(segment_tcp(bare.data(), bare.size(), 30, scratch, count));
    const auto tiny = ipv4(kTcp, 60, 2000); // the headers alone fill the MTU
    EXPECT_FALSE(segment_tcp(tiny.data(), tiny.size(), 80, scratch, count));
    EXPECT_EQ(emitted, 0);
}
