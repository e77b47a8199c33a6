#include "Traffic/Probe.h"
#include "Traffic/Stats.h"

#include <gtest/gtest.h>

#include <vector>

using namespace traffic;

TEST(Probe, HeaderIsLittleEndianAtFixedOffsetsAndSurvivesTheRoundTrip) {
    std::vector<uint8_t> buf(64);
    ProbeHeader h{0x01020304, 5000, 0xA0B0C0D0, 0x1122334455667788ull};
    encode_probe(h, buf.data(), buf.size());
    EXPECT_EQ(buf[0], 0x41); // magic low byte first
    EXPECT_EQ(buf[4], 0x04);
    EXPECT_EQ(buf[7], 0x01);
    EXPECT_EQ(buf[8], 0x88); // 5000 = 0x1388
    EXPECT_EQ(buf[9], 0x13);
    EXPECT_EQ(buf[12], 0xD0);
    EXPECT_EQ(buf[16], 0x88);
    EXPECT_EQ(buf[23], 0x11);

    ProbeHeader back;
    ASSERT_EQ(decode_probe(buf.data(), buf.size(), &back), ProbeCheck::Intact);
    EXPECT_EQ(back.sequence, h.sequence);
    EXPECT_EQ(back.total, h.total);
    EXPECT_EQ(back.flow, h.flow);
    EXPECT_EQ(back.stamp_ns, h.stamp_ns);

    stamp_probe(buf.data(), 42);
    ASSERT_EQ(decode_probe(buf.data(), buf.size(), &back), ProbeCheck::Intact);
    EXPECT_EQ(back.stamp_ns, 42u);
}

TEST(Probe, FlippedBitsAndStrangersAreTold) {
    std::vector<uint8_t> buf(1400);
    encode_probe({7, 10, 1, 99}, buf.data(), buf.size());
    auto flipped = buf;
    flipped[1399] ^= 0x01;
    EXPECT_EQ(decode_probe(flipped.data(), flipped.size(), nullptr), ProbeCheck::Corrupt);
    flipped = buf;
    flipped[kProbeHeaderSize] ^= 0x80;
    EXPECT_EQ(decode_probe(flipped.data(), flipped.size(), nullptr), ProbeCheck::Corrupt);
    flipped = buf;
    flipped[0] ^= 0x01;
    EXPECT_EQ(decode_probe(flipped.data(), flipped.size(), nullptr), ProbeCheck::Foreign);
    EXPECT_EQ(decode_probe(buf.data(), kProbeHeaderSize - 1, nullptr), ProbeCheck::Foreign);
    // A header-only probe has no pattern to check.
    EXPECT_EQ(decode_probe(buf.data(), kProbeHeaderSize, nullptr), ProbeCheck::Intact);
    // Patterns differ between sequence numbers, so a payload moved to another header shows.
    std::vector<uint8_t> other(1400);
    encode_probe({8, 10, 1, 99}, other.data(), other.size());
    std::copy(buf.begin(), buf.begin() + kProbeHeaderSize, other.begin());
    EXPECT_EQ(decode_probe(other.data(), other.size(), nullptr), ProbeCheck::Corrupt);
}

namespace {

Arrival at(uint32_t seq, int64_t arrivalMs, int64_t delayUs = 100, uint32_t size = 125) {
    Arrival a;
    a.sequence = seq;
    a.arrival_ns = arrivalMs * 1000000;
    a.delay_ns = delayUs * 1000;
    a.size = size;
    return a;
}

} // namespace

TEST(ReceiveStats, CountsLossCopiesAndDisorder) {
    ReceiveStats s;
    // Sent 0..9; 3 and 7 lost, 5 comes after 6, 2 arrives twice.
    for (uint32_t seq : {0u, 1u, 2u, 2u, 4u, 6u, 5u, 8u, 9u})
        s.add(at(seq, seq), 10);
    Summary sum = s.summary();
    EXPECT_EQ(sum.received, 9u);
    EXPECT_EQ(sum.unique, 8u);
    EXPECT_EQ(sum.duplicates, 1u);
    EXPECT_EQ(sum.out_of_order, 1u);
    EXPECT_EQ(sum.expected, 10u);
    EXPECT_EQ(sum.lost, 2u);
    EXPECT_DOUBLE_EQ(sum.loss_pct, 20.0);
    EXPECT_FALSE(s.complete());
    s.add(at(3, 10), 10);
    s.add(at(7, 11), 10);
    EXPECT_TRUE(s.complete());
    EXPECT_EQ(s.summary().lost, 0u);
}

TEST(ReceiveStats, DelaysAndGoodput) {
    ReceiveStats s;
    // 100 packets of 125 bytes one millisecond apart: 1 Mbit/s.
    for (uint32_t i = 0; i < 100; ++i)
        s.add(at(i, i, i < 98 ? 1000 : 50000), 100);
    Summary sum = s.summary();
    EXPECT_DOUBLE_EQ(sum.delay_us_min, 1000);
    EXPECT_DOUBLE_EQ(sum.delay_us_median, 1000);
    EXPECT_DOUBLE_EQ(sum.delay_us_p99, 50000);
    EXPECT_DOUBLE_EQ(sum.delay_us_max, 50000);
    EXPECT_NEAR(sum.goodput_bps, 1e6, 1);
    EXPECT_NEAR(sum.rate_pps, 1000, 0.01);
    EXPECT_NEAR(sum.duration_s, 0.099, 1e-9);
}

TEST(ReceiveStats, NothingAndHugeSequenceNumbers) {
    ReceiveStats empty;
    Summary none = empty.summary();
    EXPECT_EQ(none.received, 0u);
    EXPECT_EQ(none.goodput_bps, 0);
    EXPECT_EQ(none.delay_us_median, 0);
    EXPECT_NE(format_summary(none).find("received=0 "), std::string::npos);

    // Numbers past the table's limit still count, without duplicate detection.
    ReceiveStats s(16);
    EXPECT_TRUE(s.add(at(0xFFFFFFF0u, 1), 0));
    EXPECT_TRUE(s.add(at(0xFFFFFFF0u, 2), 0));
    EXPECT_EQ(s.summary().unique, 2u);
}

TEST(ReceiveStats, ACorruptProbeCountsOnlyAsCorrupt) {
    // A flipped bit in the header: nonsense sequence number, count and stamp.
    ReceiveStats s;
    s.add(at(0, 1), 2);
    Arrival bad = at(0x7FFFFFFFu, 2, -9000000000000000);
    bad.corrupt = true;
    EXPECT_FALSE(s.add(bad, 0xFFFFFFFFu));
    Summary sum = s.summary();
    EXPECT_EQ(sum.received, 2u);
    EXPECT_EQ(sum.corrupt, 1u);
    EXPECT_EQ(sum.unique, 1u);
    EXPECT_EQ(sum.expected, 2u);
    EXPECT_DOUBLE_EQ(sum.delay_us_min, 100);
}

TEST(Percentile, NearestRank) {
    EXPECT_EQ(percentile({5}, 50), 5);
    EXPECT_EQ(percentile({4, 1, 3, 2}, 50), 2);
    EXPECT_EQ(percentile({4, 1, 3, 2}, 100), 4);
    EXPECT_EQ(percentile({4, 1, 3, 2}, 0), 1);
}
