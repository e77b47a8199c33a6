#include "quellin_models/Params.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <gtest/gtest.h>

using namespace quellin::models;
using quellin::wire::DriverPlayBlock;

TEST(Params, DecodedFromThePlayBlock) {
    DriverPlayBlock b(3);
    b.setDelayType(3);
    b.setMinDelay(10);
    b.setLossType(6);
    b.setGilbertToBad(77);
    b.setSampleCount(3);
    b.setSampleInterval(100);
    b.setDelaySample(0, 5);
    b.setDelaySample(2, -1);
    b.setLossSample(1, 9400);
    b.setWestBucketSize(64);
    b.setWestBucketMode(1);
    b.setEastMaxBucketThreshold(40);
    b.setBitErrorChance(1000000000000ull);
    b.setMaxTransmitionUnit(576);
    b.setConstantDelay(250);
    b.setCongestionMaxDuration(900);
    const ModelParams p = decode_model_params(b);
    EXPECT_EQ(p.delay.type, 3);
    EXPECT_EQ(p.delay.minDelay, 10);
    EXPECT_EQ(p.loss.type, 6);
    EXPECT_EQ(p.loss.gilbertToBad, 77);
    ASSERT_EQ(p.series.count, 3);
    EXPECT_EQ(p.series.interval, 100);
    EXPECT_EQ(p.series.delay(0), 5);
    EXPECT_EQ(p.series.delay(2), -1);
    EXPECT_EQ(p.series.loss(1), 9400);
    EXPECT_EQ(p.bucket[1].sizeKb, 64);
    EXPECT_EQ(p.bucket[1].mode, 1);
    EXPECT_TRUE(p.bucket[0].redOn());
    EXPECT_FALSE(p.bucket[1].redOn());
    EXPECT_EQ(p.bitError.chance, 1000000000000ull);
    EXPECT_EQ(p.fragmentation.mtu, 576);
    EXPECT_EQ(p.congestion.constantDelay, 250);
    EXPECT_EQ(p.congestion.period.maxLength, 900);
}

TEST(Params, SampleCountBeyondTheTailGivesNoSeries) {
    DriverPlayBlock b(0);
    b.setSampleCount(50);
    b.setSampleInterval(100);
    EXPECT_EQ(decode_model_params(b).series.count, 0);
    EXPECT_FALSE(decode_model_params(b).series.playable());
}
