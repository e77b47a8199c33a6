#include "quellin_models/Bucket.h"
#include "FakeRuntime.h"

#include <gtest/gtest.h>

#include <array>

using namespace quellin::models;
using quellin::models::test::FakeRuntime;

namespace {
class Buckets : public ::testing::Test {
protected:
    FakeRuntime rt;
    std::array<uint32_t, 19> counters{};
    Bucket bucket;
    BucketParams p;
    int offer(uint32_t size, int b = 1) {
        return du_add_to_bucket(bucket, b, p, size, counters, rt);
    }
};
constexpr uint64_t kb(uint64_t v) {
    return v << 21;
}
} // namespace

TEST(PowW, TableValues) {
    EXPECT_EQ(pow_w(0), 4096u);
    EXPECT_EQ(pow_w(-5), 4096u);
    EXPECT_EQ(pow_w(1), 4088u);
    EXPECT_EQ(pow_w(2), 4080u);
    EXPECT_EQ(pow_w(3), 4072u);
    EXPECT_EQ(pow_w(8191), 0u);
    EXPECT_EQ(pow_w(8192), 0u);
    EXPECT_GT(pow_w(512), 1400u); // about e^-1 of 4,096
    EXPECT_LT(pow_w(512), 1600u);
}

TEST_F(Buckets, FifoRefusesTheThirdKilobytePacketOfATwoKilobyteBucket) {
    p.sizeKb = 2;
    EXPECT_EQ(offer(1000), 1);
    EXPECT_EQ(offer(1000), 1);
    EXPECT_EQ(offer(1000), 0);
    EXPECT_EQ(bucket.fill, 2000u);
    EXPECT_EQ(counters[1], 2000u);
    EXPECT_EQ(counters[3], 2000u);
    EXPECT_EQ(counters[5], 1u);
    EXPECT_EQ(counters[7], 1u);
    EXPECT_EQ(counters[9], 1u);
    EXPECT_EQ(counters[0] + counters[4] + counters[8], 0u); // East untouched
    EXPECT_EQ(offer(48), 1);                                // exactly full
    du_del_from_bucket(bucket, p, 1000, rt);
    EXPECT_EQ(bucket.fill, 1048u);
    du_del_from_bucket(bucket, p, 5000, rt); // never below 0
    EXPECT_EQ(bucket.fill, 0u);
}

TEST_F(Buckets, PacketModeCountsEveryPacketAs1500Bytes) {
    p.sizeKb = 2;
    p.mode = 1;
    EXPECT_EQ(offer(64, 0), 1);
    EXPECT_EQ(bucket.fill, 1500u);
    EXPECT_EQ(offer(64, 0), 0);
    du_del_from_bucket(bucket, p, 64, rt);
    EXPECT_EQ(bucket.fill, 0u);
}

TEST_F(Buckets, PeakDropCountFollowsTheSecondCount) {
    p.sizeKb = 0;
    offer(1, 0);
    offer(1, 0);
    EXPECT_EQ(counters[6], 2u);
    counters[4] = 0; // a new second
    offer(1, 0);
    EXPECT_EQ(counters[6], 2u);
    EXPECT_EQ(counters[8], 3u);
}

TEST_F(Buckets, RedIdleDecayAfterOneMillisecond) {
    p.redMinKb = 10;
    p.redMaxKb = 20;
    red_reset(bucket, rt.todayMs);
    bucket.red.average = kb(5);
    rt.advance_ms(1); // n = 1 packet time
    EXPECT_EQ(offer(100), 1);
    const uint64_t decayed = 4088 * (kb(5) >> 12);
    EXPECT_EQ(bucket.red.average, decayed - decayed / 512);
    EXPECT_EQ(bucket.red.idle, 0u);
}

TEST_F(Buckets, RedAverageRestartsFromZeroAfterLongIdle) {
    p.redMinKb = 10;
    p.redMaxKb = 20;
    for (uint64_t idleMs : {6554u, 60001u, 120000u}) {
        red_reset(bucket, rt.todayMs);
        bucket.red.average = kb(15);
        rt.advance_ms(idleMs);
        offer(100);
        EXPECT_EQ(bucket.red.average, 0u) << idleMs;
        du_del_from_bucket(bucket, p, 100, rt); // empty again: idle from now
        EXPECT_EQ(bucket.red.idle, 1u);
    }
}

TEST_F(Buckets, RedIdleTimeAcrossMidnightIsShort) {
    p.redMinKb = 10;
    p.redMaxKb = 20;
    rt.todayMs = 86399999;
    red_reset(bucket, rt.todayMs);
    bucket.red.average = kb(5);
    rt.advance_ms(1); // the clock of day restarts at 0
    offer(100);
    const uint64_t decayed = 4088 * (kb(5) >> 12);
    EXPECT_EQ(bucket.red.average, decayed - decayed / 512);
}

TEST_F(Buckets, RedBelowMinimumUsesTheFifoAboveMaximumForcesDrops) {
    p.sizeKb = 100;
    p.redMinKb = 10;
    p.redMaxKb = 20;
    red_reset(bucket, rt.todayMs);
    EXPECT_EQ(offer(1000), 1);
    bucket.fill = 30 * 1024;
    bucket.red.average = kb(25);
    EXPECT_EQ(offer(1000), 0);
    EXPECT_EQ(bucket.stats.forcedDrops, 1u);
    EXPECT_EQ(counters[5], 1u);
    EXPECT_EQ(bucket.red.bytesSinceDrop, 0u);
    EXPECT_EQ(rt.draws, 0);
}

TEST_F(Buckets, RedEnteringTheBandRestartsBytesSinceDropAndTestsAtOnce) {
    p.redMinKb = 10;
    p.redMaxKb = 20;
    red_reset(bucket, rt.todayMs);
    bucket.red.idle = 0;
    bucket.fill = 15 * 1024;
    bucket.red.average = kb(15);
    bucket.red.bytesSinceDrop = 999999;
    rt.script = {0x7FFF, 0x7FFF}; // the largest draw: no early drop
    EXPECT_EQ(offer(500), 1);
    EXPECT_EQ(bucket.red.aboveMin, 1u);
    EXPECT_EQ(bucket.red.bytesSinceDrop, 500u);
    rt.script = {0, 0}; // the smallest draw: early drop
    EXPECT_EQ(offer(500), 0);
    EXPECT_EQ(bucket.stats.earlyDrops, 1u);
    EXPECT_EQ(bucket.red.aboveMin, 1u);
    EXPECT_EQ(bucket.red.bytesSinceDrop, 0u);
    EXPECT_EQ(bucket.stats.averageKb, 15u);
}

TEST(DropEarly, ChanceGrowsWithTheLevelAndBytesSinceDrop) {
    FakeRuntime rt(7);
    rt.strict = false;
    BucketParams p;
    p.redMinKb = 10;
    p.redMaxKb = 20;
    RedState red;
    auto rate = [&](uint64_t avgKbTimes10, uint32_t since, uint32_t size) {
        red.average = (avgKbTimes10 << 21) / 10;
        red.bytesSinceDrop = since;
        int drops = 0;
        for (int i = 0; i < 20000; ++i)
            drops += drop_early(red, p, size, rt) ? 1 : 0;
        return drops / 20000.0;
    };
    // q = (avg - min) / (max - min) * s / 81,920: 0.5 * 1500 / 81920 = 0.92 %
    EXPECT_NEAR(rate(150, 0, 1500), 0.0092, 0.003);
    EXPECT_NEAR(rate(190, 0, 1500), 0.0165, 0.004);
    // Many bytes since the last drop raise the chance; past 1 / q it is certain.
    EXPECT_GT(rate(150, 40000, 1500), 0.012);
    EXPECT_EQ(rate(150, 200000, 1500), 1.0);
}

TEST(DropEarly, SmallPacketsAndZeroSizeStayInRange) {
    FakeRuntime rt;
    BucketParams p;
    p.redMinKb = 100;
    p.redMaxKb = 1000; // products beyond 32 bits for small packets
    RedState red;
    red.average = uint64_t{550} << 21; // mid-band
    red.bytesSinceDrop = 0;
    // q = 0.5 / 81,920 for a 1-byte packet: a middle draw does not drop.
    rt.script = {0x4000, 0};
    EXPECT_FALSE(drop_early(red, p, 1, rt));
    rt.script = {0x4000, 0};
    EXPECT_FALSE(drop_early(red, p, 0, rt)); // size 0 counts as 1
    rt.script = {0, 0};
    EXPECT_TRUE(drop_early(red, p, 1, rt));
}

TEST_F(Buckets, LargeThresholdsAreComparedWithoutWrapping) {
    p.redMinKb = 3000;
    p.redMaxKb = 5000;
    red_reset(bucket, rt.todayMs);
    bucket.red.idle = 0;
    bucket.fill = 6000 * 1024;
    bucket.red.average = kb(6000);
    EXPECT_EQ(offer(1000), 0);
    EXPECT_EQ(bucket.stats.forcedDrops, 1u);
    EXPECT_EQ(bucket.stats.averageKb, 6000u);
}
