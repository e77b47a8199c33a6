// Checksums and segments finished for a sender that left them to offload. A checksum is
// verified over the pseudo header and the segment laid out by the test itself.
#include "OffloadFrames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

using namespace quellin;
using namespace quellin::edges;
using namespace quellin::edges_test;

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
