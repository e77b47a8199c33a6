// Super-frames as a TAP with offloads hands them over, made by hand: cut into wire-size
// segments, partial checksums finished, and headers that do not fit their frame refused.
#include "QuellinEdges/Segmentation.h"

#include "OffloadFrames.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::edges;
using namespace quellin::edges_test;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

VnetHeader gso(uint8_t type, uint16_t size, size_t transport, uint16_t field) {
    VnetHeader h;
    h.flags = VnetHeader::kNeedsChecksum;
    h.gsoType = type;
    h.gsoSize = size;
    h.headerLength = static_cast<uint16_t>(transport + 20);
    h.checksumStart = static_cast<uint16_t>(transport);
    h.checksumOffset = field;
    return h;
}

struct Outcome {
    OffloadResult result;
    Frames frames;
};

Outcome finish(const VnetHeader& h, std::vector<uint8_t> frame, uint32_t mtu = 0) {
    std::vector<uint8_t> scratch;
    Outcome o;
    o.result =
        finish_offloads(h, frame.data(), frame.size(), mtu, scratch,
                        [&](const uint8_t* s, size_t n) { o.frames.emplace_back(s, s + n); });
    return o;
}

// The segments' payloads, end to end.
std::vector<uint8_t> joined(const Frames& frames, size_t headers) {
    std::vector<uint8_t> all;
    for (const auto& s : frames)
        all.insert(all.end(), s.begin() + static_cast<long>(headers), s.end());
    return all;
}

} // namespace

TEST(Segmentation, TheHeaderIsReadAndWrittenLittleEndian) {
    const uint8_t bytes[VnetHeader::kSize] = {0x01, 0x81, 0x42, 0x00, 0xA8,
                                              0x05, 0x22, 0x00, 0x10, 0x00};
    const auto h = VnetHeader::decode(bytes);
    EXPECT_EQ(h.flags, VnetHeader::kNeedsChecksum);
    EXPECT_EQ(h.gsoType, VnetHeader::kGsoTcpV4 | VnetHeader::kGsoEcn);
    EXPECT_EQ(h.headerLength, 0x42);
    EXPECT_EQ(h.gsoSize, 1448);
    EXPECT_EQ(h.checksumStart, 34);
    EXPECT_EQ(h.checksumOffset, 16);
    uint8_t out[VnetHeader::kSize] = {};
    h.encode(out);
    EXPECT_TRUE(std::equal(out, out + sizeof out, bytes));
    EXPECT_TRUE(h.offloaded());
    EXPECT_FALSE(VnetHeader{}.offloaded());
}

TEST(Segmentation, ATcpSuperFrameWithOptionsIsCutByItsSegmentSize) {
    const size_t payload = 4500;
    auto big = ipv4(kTcp, 32, payload); // 12 bytes of options; PSH FIN CWR set
    put_partial_checksum(big, 16);
    const auto o = finish(gso(VnetHeader::kGsoTcpV4 | VnetHeader::kGsoEcn, 1000, 34, 16), big);
    ASSERT_EQ(o.result, OffloadResult::Segmented);
    ASSERT_EQ(o.frames.size(), 5u);
    for (size_t i = 0; i < o.frames.size(); ++i) {
        const auto& s = o.frames[i];
        const bool last = i + 1 == o.frames.size();
        EXPECT_EQ(s.size(), 14 + 20 + 32 + (last ? 500u : 1000u));
        EXPECT_EQ(wire::get_be16(s.data(), 16), s.size() - 14);
        EXPECT_EQ(wire::get_be16(s.data(), 18), 0x1234 + i);
        EXPECT_TRUE(ipv4_header_verifies(s, 14));
        EXPECT_EQ(wire::get_be32(s.data(), 38), 1000 + i * 1000);
        EXPECT_EQ((s[47] & 0x09) != 0, last) << i; // PSH and FIN
        EXPECT_EQ((s[47] & 0x09) == 0x09, last) << i;
        EXPECT_EQ((s[47] & 0x80) != 0, i == 0) << i;                               // CWR
        EXPECT_TRUE(std::equal(s.begin() + 54, s.begin() + 66, big.begin() + 54)); // options
        EXPECT_TRUE(transport_verifies(s)) << i;
    }
    EXPECT_EQ(joined(o.frames, 66), std::vector<uint8_t>(big.begin() + 66, big.end()));

    // A link narrower than the segment size cuts to the link.
    const auto narrow = finish(gso(VnetHeader::kGsoTcpV4, 1448, 34, 16), big, 576);
    ASSERT_EQ(narrow.result, OffloadResult::Segmented);
    for (const auto& s : narrow.frames) {
        EXPECT_LE(s.size() - 14, 576u);
        EXPECT_TRUE(transport_verifies(s));
    }
    EXPECT_EQ(joined(narrow.frames, 66), std::vector<uint8_t>(big.begin() + 66, big.end()));
}

TEST(Segmentation, AnIpv6TcpSuperFrameBehindAnExtensionHeaderIsCut) {
    auto big = ipv6(kTcp, 20, 3000); // hop-by-hop header: TCP at 62; PSH set
    const auto o = finish(gso(VnetHeader::kGsoTcpV6, 1400, 62, 16), big);
    ASSERT_EQ(o.result, OffloadResult::Segmented);
    ASSERT_EQ(o.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto& s = o.frames[i];
        EXPECT_EQ(wire::get_be16(s.data(), 18), s.size() - 14 - 40);
        EXPECT_EQ(wire::get_be32(s.data(), 66), 7 + i * 1400);
        EXPECT_EQ((s[62 + 13] & 0x08) != 0, i == 2);
        EXPECT_TRUE(transport_verifies(s)) << i;
    }
    EXPECT_EQ(o.frames[2].size(), 82u + 200);
    EXPECT_EQ(joined(o.frames, 82), std::vector<uint8_t>(big.begin() + 82, big.end()));
}

// The receiver checks a segment over the final destination, not the next hop it is sent to.
TEST(Segmentation, SegmentsOfAnIpv6PacketWithARoutingHeaderAreSummedOverTheFinalDestination) {
    const auto final_sum = [](const std::vector<uint8_t>& s, size_t transport) {
        std::vector<uint8_t> pseudo(s.begin() + 22, s.begin() + 38); // the source
        for (int i = 0; i < 16; ++i)
            pseudo.push_back(static_cast<uint8_t>(0x60 + i));
        const size_t segment = s.size() - transport;
        pseudo.insert(pseudo.end(), {0, 0, static_cast<uint8_t>(segment >> 8),
                                     static_cast<uint8_t>(segment), 0, 0, 0, kTcp});
        return wire::internet_fold(wire::internet_sum(
            s.data() + transport, segment, wire::internet_sum(pseudo.data(), pseudo.size())));
    };
    for (const uint8_t type : {uint8_t{2}, uint8_t{4}}) {
        SCOPED_TRACE(type);
        auto big = ipv6_routed(type, 3000);
        const size_t transport = 54 + (type == 4 ? 40 : 24);
        const auto o = finish(gso(VnetHeader::kGsoTcpV6, 1400, transport, 16), big);
        ASSERT_EQ(o.result, OffloadResult::Segmented);
        ASSERT_EQ(o.frames.size(), 3u);
        for (const auto& s : o.frames)
            EXPECT_EQ(final_sum(s, transport), 0xFFFF);
        // A frame left to finish its checksum gets the same.
        auto small = ipv6_routed(type, 100);
        ASSERT_TRUE(complete_checksum(small.data(), small.size()));
        EXPECT_EQ(final_sum(small, transport), 0xFFFF);
    }
    // An unknown routing type with segments left names no destination that can be read:
    // nothing is summed over a guess.
    auto unknown = ipv6_routed(2, 100);
    unknown[54 + 2] = 253;
    EXPECT_FALSE(ip_layout(unknown.data(), unknown.size()));
    EXPECT_FALSE(complete_checksum(unknown.data(), unknown.size()));
}

TEST(Segmentation, AUdpSuperFrameBecomesDatagramsWithTheirOwnHeaders) {
    auto v4 = ipv4(kUdp, 8, 3000);
    put_partial_checksum(v4, 6);
    auto h = gso(VnetHeader::kGsoUdpL4, 1200, 34, 6);
    auto o = finish(h, v4);
    ASSERT_EQ(o.result, OffloadResult::Segmented);
    ASSERT_EQ(o.frames.size(), 3u);
    const size_t sizes[3] = {1200, 1200, 600};
    for (size_t i = 0; i < 3; ++i) {
        const auto& s = o.frames[i];
        EXPECT_EQ(s.size(), 42 + sizes[i]);
        EXPECT_EQ(wire::get_be16(s.data(), 34 + 4), 8 + sizes[i]); // UDP length
        EXPECT_EQ(wire::get_be16(s.data(), 18), 0x1234 + i);
        EXPECT_TRUE(ipv4_header_verifies(s, 14));
        EXPECT_TRUE(transport_verifies(s)) << i;
        EXPECT_NE(wire::get_be16(s.data(), 40), 0); // never "no checksum"
    }
    EXPECT_EQ(joined(o.frames, 42), std::vector<uint8_t>(v4.begin() + 42, v4.end()));

    // Datagrams are never cut to the link: their sender chose their size.
    o = finish(h, v4, 1000);
    EXPECT_EQ(o.frames.size(), 3u);

    const auto v6 = ipv6(kUdp, 8, 2500);
    o = finish(gso(VnetHeader::kGsoUdpL4, 1000, 62, 6), v6);
    ASSERT_EQ(o.result, OffloadResult::Segmented);
    ASSERT_EQ(o.frames.size(), 3u);
    for (const auto& s : o.frames) {
        EXPECT_EQ(wire::get_be16(s.data(), 18), s.size() - 14 - 40);
        EXPECT_EQ(wire::get_be16(s.data(), 62 + 4), s.size() - 62);
        EXPECT_TRUE(transport_verifies(s));
    }
}

TEST(Segmentation, PartialChecksumsAreFinishedAndPlainFramesPassUntouched) {
    for (auto [frame, transport, field] :
         {std::tuple{ipv4(kUdp, 8, 101), 34, 6}, std::tuple{ipv4(kTcp, 20, 999, 1), 38, 16},
          std::tuple{ipv6(kTcp, 20, 64), 62, 16}, std::tuple{ipv6(kUdp, 8, 0), 62, 6}}) {
        put_partial_checksum(frame, static_cast<size_t>(field));
        VnetHeader h;
        h.flags = VnetHeader::kNeedsChecksum;
        h.checksumStart = static_cast<uint16_t>(transport);
        h.checksumOffset = static_cast<uint16_t>(field);
        const auto o = finish(h, frame);
        EXPECT_EQ(o.result, OffloadResult::Checksum);
        ASSERT_EQ(o.frames.size(), 1u);
        EXPECT_TRUE(transport_verifies(o.frames[0]));
    }
    // A super-frame that is one segment already only needs its checksum.
    auto small = ipv4(kTcp, 20, 500);
    const auto one = finish(gso(VnetHeader::kGsoTcpV4, 1448, 34, 16), small);
    EXPECT_EQ(one.result, OffloadResult::Checksum);
    ASSERT_EQ(one.frames.size(), 1u);
    EXPECT_TRUE(transport_verifies(one.frames[0]));
    EXPECT_EQ(one.frames[0][47], small[47]); // its flags kept

    const auto plain = ipv4(kUdp, 8, 40);
    const auto o = finish(VnetHeader{}, plain);
    EXPECT_EQ(o.result, OffloadResult::Whole);
    EXPECT_EQ(o.frames, Frames{plain});
}

TEST(Segmentation, HeadersThatDoNotFitTheirFrameAreRefused) {
    const auto tcp = ipv4(kTcp, 20, 3000);
    const auto udp = ipv4(kUdp, 8, 3000);
    const auto good = gso(VnetHeader::kGsoTcpV4, 1000, 34, 16);
    ASSERT_EQ(finish(good, tcp).result, OffloadResult::Segmented);
    std::vector<std::pair<const char*, VnetHeader>> bad;
    auto with = [&](const char* what, auto change) {
        VnetHeader h = good;
        change(h);
        bad.emplace_back(what, h);
    };
    with("segment size 0", [](VnetHeader& h) { h.gsoSize = 0; });
    with("header length past the frame", [&](VnetHeader& h) { h.headerLength = 4000; });
    with("checksum start past the frame", [](VnetHeader& h) { h.checksumStart = 5000; });
    with("checksum field past the frame", [&](VnetHeader& h) {
        h.checksumStart = static_cast<uint16_t>(tcp.size() - 4);
        h.checksumOffset = 4;
    });
    with("checksum start in the link header", [](VnetHeader& h) { h.checksumStart = 4; });
    with("checksum start not at the transport header", [](VnetHeader& h) { h.checksumStart = 30; });
    with("checksum field not TCP's", [](VnetHeader& h) { h.checksumOffset = 6; });
    with("no partial checksum", [](VnetHeader& h) { h.flags = 0; });
    with("IPv6 segmentation of IPv4", [](VnetHeader& h) { h.gsoType = VnetHeader::kGsoTcpV6; });
    with("UDP segmentation of TCP", [](VnetHeader& h) { h.gsoType = VnetHeader::kGsoUdpL4; });
    with("fragmentation offload", [](VnetHeader& h) { h.gsoType = VnetHeader::kGsoUdp; });
    with("an unknown kind", [](VnetHeader& h) { h.gsoType = 9; });
    with("ECN alone", [](VnetHeader& h) {
        h.gsoType = VnetHeader::kGsoEcn;
        h.flags = 0;
    });
    for (const auto& [what, h] : bad) {
        const auto o = finish(h, tcp);
        EXPECT_EQ(o.result, OffloadResult::Refused) << what;
        EXPECT_TRUE(o.frames.empty()) << what;
    }

    auto udpEcn = gso(VnetHeader::kGsoUdpL4 | VnetHeader::kGsoEcn, 1000, 34, 6);
    EXPECT_EQ(finish(udpEcn, udp).result, OffloadResult::Refused);
    // Frames whose own lengths lie.
    auto cut = tcp;
    cut.resize(2000); // the IP length says 3040
    EXPECT_EQ(finish(good, cut).result, OffloadResult::Refused);
    auto longHeader = tcp;
    longHeader[34 + 12] = 0x40; // a TCP header of 16 bytes
    EXPECT_EQ(finish(good, longHeader).result, OffloadResult::Refused);
    auto fragment = udp;
    wire::put_be16(fragment.data(), 20, 0x2000);
    EXPECT_EQ(finish(gso(VnetHeader::kGsoUdpL4, 1000, 34, 6), fragment).result,
              OffloadResult::Refused);
    // Headers that leave no room for a byte of payload on the link.
    EXPECT_EQ(finish(good, tcp, 40).result, OffloadResult::Refused);
}
