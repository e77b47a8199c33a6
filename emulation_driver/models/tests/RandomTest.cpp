#include "quellin_models/Random.h"
#include "FakeRuntime.h"

#include <gtest/gtest.h>

using namespace quellin::models;
using quellin::models::test::FakeRuntime;

TEST(Random, DuRandCoversItsRangeWithTheTopDrawFoldedIn) {
    FakeRuntime rt;
    rt.script = {0, 0x7FFF, 0x4000};
    EXPECT_EQ(du_rand(rt, 1, 100), 1);
    EXPECT_EQ(du_rand(rt, 1, 100), 100); // r = span becomes span - 1
    EXPECT_EQ(du_rand(rt, 0, 1000), 0x4000 * 1001 / 0x7FFF);
}

TEST(Random, DrawForGivesEachValueOfTheRange) {
    FakeRuntime rt;
    for (uint32_t v : {1u, 2u, 5000u, 9999u, 10000u}) {
        rt.script = {quellin::models::test::draw_for(1, 10000, v)};
        EXPECT_EQ(du_rand(rt, 1, 10000), v);
    }
}

TEST(Random, LongRandReachesItsUpperBoundOnlyWithBothTopDraws) {
    FakeRuntime rt;
    rt.script = {0x7FFF, 0x7FFF, 0x7FFF, 0x7FFE, 0, 0};
    EXPECT_EQ(du_long_rand(rt, 10, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_LT(du_long_rand(rt, 10, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(du_long_rand(rt, 10, 20), 10u);
}

TEST(Random, Int64RandAddsACoarseAndAFineDraw) {
    FakeRuntime rt;
    const uint64_t span = 1000000000000ull - 1;
    rt.script = {100, 0x7FFF, 0x7FFF};
    const uint64_t expected = 1 + 100 * span / 32767 + static_cast<uint32_t>(span / 32767);
    EXPECT_EQ(du_int64_rand(rt, 1, 1000000000000ull), expected);
    // A top draw can pass the upper bound by up to span / 32767.
    rt.script = {0x7FFF, 0x7FFF, 0x7FFF};
    EXPECT_EQ(du_int64_rand(rt, 1, 1000000000000ull), 1 + span + span / 32767);
}

TEST(Random, DuRandOfAnEmptyRangeGivesItsLowerBound) {
    FakeRuntime rt;
    rt.script = {0x7FFF, 0, 0x7FFF};
    EXPECT_EQ(du_rand(rt, 5, 4), 5);
    EXPECT_EQ(du_rand(rt, 0, 65535), 0);
    EXPECT_EQ(du_rand(rt, 10, 9), 10);
}
