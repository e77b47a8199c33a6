// Runs of TCP segments bound for the station joined into super-frames: made by cutting a
// hand-made packet, so that joining them must give that packet back.
#include "QuellinEdges/Coalescing.h"

#include "OffloadFrames.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::edges;
using namespace quellin::edges_test;

namespace {

struct Written {
    VnetHeader header;
    std::vector<uint8_t> frame;
    size_t segments;
};

class Joined : public ::testing::Test {
protected:
    // The segments of a packet cut at `mss`.
    static std::vector<std::vector<uint8_t>> cut(const std::vector<uint8_t>& packet, size_t mss) {
        std::vector<uint8_t> scratch;
        std::vector<std::vector<uint8_t>> out;
        EXPECT_TRUE(
            segment_tcp_by_size(packet.data(), packet.size(), mss, scratch,
                                [&](const uint8_t* s, size_t n) { out.emplace_back(s, s + n); }));
        return out;
    }
    void add(const std::vector<uint8_t>& f) { coalescer.add(f.data(), f.size(), writer); }
    void flush() { coalescer.flush(writer); }

    // A super-frame as the station's stack would take it: checksum finished from the
    // partial sum the header points at.
    static std::vector<uint8_t> finished(const Written& w) {
        auto f = w.frame;
        const size_t start = w.header.checksumStart;
        wire::put_be16(f.data(), start + w.header.checksumOffset,
                       wire::internet_checksum(f.data() + start, f.size() - start));
        return f;
    }

    Coalescer coalescer;
    std::vector<Written> written;
    Coalescer::Writer writer = [this](const VnetHeader& h, const uint8_t* f, size_t n,
                                      size_t segments) {
        written.push_back({h, std::vector<uint8_t>(f, f + n), segments});
    };
};

// A bulk segment: ACK only, or ACK and PSH.
std::vector<uint8_t> bulk(std::vector<uint8_t> f, size_t transport, uint8_t flags = 0x10) {
    f[transport + 13] = flags;
    return f;
}

} // namespace

TEST_F(Joined, ARunOfSegmentsGivesBackThePacketTheyWereCutFrom) {
    const auto packet = bulk(ipv4(kTcp, 32, 5000), 34, 0x18); // options; PSH on the last
    const auto segments = cut(packet, 1200);
    ASSERT_EQ(segments.size(), 5u);
    for (const auto& s : segments)
        add(s);
    EXPECT_TRUE(written.empty()); // held until the end of the batch
    EXPECT_EQ(coalescer.held(), 5u);
    flush();
    ASSERT_EQ(written.size(), 1u);
    const auto& w = written[0];
    EXPECT_EQ(w.segments, 5u);
    EXPECT_EQ(w.header.flags, VnetHeader::kNeedsChecksum);
    EXPECT_EQ(w.header.gsoType, VnetHeader::kGsoTcpV4);
    EXPECT_EQ(w.header.gsoSize, 1200);
    EXPECT_EQ(w.header.checksumStart, 34);
    EXPECT_EQ(w.header.checksumOffset, 16);
    EXPECT_EQ(w.header.headerLength, 66);
    const auto f = finished(w);
    ASSERT_EQ(f.size(), packet.size());
    EXPECT_TRUE(ipv4_header_verifies(f, 14));
    EXPECT_TRUE(transport_verifies(f));
    EXPECT_TRUE(std::equal(f.begin() + 66, f.end(), packet.begin() + 66)); // payload
    EXPECT_EQ(f[47], 0x18);                                                // PSH from the last
    EXPECT_EQ(wire::get_be32(f.data(), 38), 1000u);

    // The station's own cut of it gives the segments back.
    written.clear();
    const auto again = cut(f, w.header.gsoSize);
    ASSERT_EQ(again.size(), segments.size());
    for (size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i], segments[i]) << i;
}

TEST_F(Joined, Ipv6SegmentsAreJoinedToo) {
    // Without an extension header: the hand-made IPv6 packet has one, taken out here.
    auto packet = ipv6(kTcp, 20, 4000);
    packet.erase(packet.begin() + 54, packet.begin() + 62);
    packet[20] = kTcp;
    wire::put_be16(packet.data(), 18, static_cast<uint16_t>(20 + 4000));
    packet = bulk(packet, 54);
    for (const auto& s : cut(packet, 1400))
        add(s);
    flush();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].header.gsoType, VnetHeader::kGsoTcpV6);
    EXPECT_EQ(written[0].segments, 3u);
    const auto f = finished(written[0]);
    EXPECT_EQ(wire::get_be16(f.data(), 18), 4020u);
    EXPECT_TRUE(transport_verifies(f));
}

TEST_F(Joined, ACorruptedSegmentGoesOnAloneAndUnchanged) {
    const auto segments = cut(bulk(ipv4(kTcp, 20, 6000), 34), 1000);
    auto corrupt = segments[2];
    corrupt[100] ^= 0x04; // a bit error in the payload
    add(segments[0]);
    add(segments[1]);
    add(corrupt);
    add(segments[3]);
    add(segments[4]);
    add(segments[5]);
    flush();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0].segments, 2u);
    EXPECT_EQ(written[1].segments, 1u);
    EXPECT_EQ(written[1].frame, corrupt);
    EXPECT_EQ(written[1].header.flags, 0);
    EXPECT_EQ(written[1].header.gsoType, VnetHeader::kGsoNone);
    // The run after it starts anew at the next segment.
    EXPECT_EQ(written[2].segments, 3u);
    EXPECT_EQ(wire::get_be32(written[2].frame.data(), 38), 1000u + 3 * 1000);
}

TEST_F(Joined, WhatBreaksARunEndsIt) {
    const auto segments = cut(bulk(ipv4(kTcp, 20, 3000), 34), 1000);
    // A gap in the sequence.
    add(segments[0]);
    add(segments[2]);
    flush();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].segments + written[1].segments, 2u);
    written.clear();

    // Another flow between, a segment with other flags, and frames no run takes.
    auto other = segments[1];
    other[34 + 1] ^= 1; // another source port
    auto otherFixed = other;
    ASSERT_TRUE(complete_checksum(otherFixed.data(), otherFixed.size()));
    ASSERT_TRUE(transport_verifies(otherFixed));
    add(segments[0]);
    add(otherFixed);
    add(segments[1]);
    flush();
    EXPECT_EQ(written.size(), 3u);
    written.clear();

    auto fin = segments[1];
    fin[34 + 13] = 0x11; // FIN ACK: never joined
    auto udp = ipv4(kUdp, 8, 100);
    ASSERT_TRUE(complete_checksum(udp.data(), udp.size()));
    add(segments[0]);
    add(fin);
    add(udp);
    EXPECT_EQ(written.size(), 3u); // written at once, after what was held
    EXPECT_EQ(written[0].frame, segments[0]);
    EXPECT_EQ(written[1].frame, fin);
    EXPECT_EQ(written[2].frame, udp);
    EXPECT_EQ(coalescer.held(), 0u);
    written.clear();

    // A short segment ends a run; the next one starts another.
    const auto shorter = cut(bulk(ipv4(kTcp, 20, 2500), 34), 1000); // 1000, 1000, 500
    for (const auto& s : shorter)
        add(s);
    add(segments[0]);
    flush();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].segments, 3u);
    EXPECT_EQ(written[1].segments, 1u);
}
