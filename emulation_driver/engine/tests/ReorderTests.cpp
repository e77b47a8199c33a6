#include "EngineFixture.h"

using namespace quellin;
using namespace quellin::test;

namespace {
// du_rand(1, 100) gives 1 for draw 0; du_rand(n, n) gives n for any draw.
constexpr uint16_t kHit = 0;
constexpr uint16_t kMiss = 0x7FFF;
} // namespace

TEST_F(EngineTest, HeldPacketIsReleasedAfterTheTargetCount) {
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(3);
    block.setOutOfOrderMaxRange(3);
    play();
    random.push({kHit, 0});
    send(0, 100, 1);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_NE(du_context().reorder.packet, nullptr);
    EXPECT_EQ(du_context().reorder.target, 3u);
    random.set_fallback(kMiss);
    send(0, 100, 2);
    send(0, 100, 3);
    EXPECT_EQ(sink.count(), 2u);
    send(0, 100, 4);
    ASSERT_EQ(sink.count(), 4u);
    EXPECT_EQ(tag_of(3), 1); // overtaken by three
    EXPECT_EQ(du_context().reorder.packet, nullptr);
    EXPECT_EQ(list_entry(2, 3).flags, wire::kFlagHeld);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, TargetZeroReleasesWithTheNextPacket) {
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(0);
    block.setOutOfOrderMaxRange(0);
    play();
    random.push({kHit, 0});
    send(0, 100, 1);
    random.set_fallback(kMiss);
    send(0, 100, 2);
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(tag_of(0), 2);
    EXPECT_EQ(tag_of(1), 1);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, ReleasedPacketKeepsItsOwnDirection) {
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(1);
    block.setOutOfOrderMaxRange(1);
    play();
    random.push({kHit, 0});
    send(0, 100, 1);
    random.set_fallback(kMiss);
    send(1, 100, 2);
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(sink.frames()[1].direction, 0);
    EXPECT_EQ(tag_of(1), 1);
    EXPECT_EQ(du_context().listWriteCounters[2], 2u); // West station side saw both
}

TEST_F(EngineTest, StopAndLoadReleaseTheHeldPacketUnchanged) {
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(5);
    block.setOutOfOrderMaxRange(5);
    play();
    random.push({kHit, 0});
    send(0, 100, 1);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_TRUE(du_stop());
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(tag_of(0), 1);
    EXPECT_TRUE(pools_full());

    play();
    random.push({kHit, 0});
    send(0, 100, 2);
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(sink.count(), 2u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, DroppedPacketsAreNeverHeld) {
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(1);
    block.setOutOfOrderMaxRange(1);
    models.losses = {wire::kFlagLost};
    play();
    send(0, 100, 1);
    EXPECT_EQ(random.drawn(), 0u);
    EXPECT_EQ(du_context().reorder.packet, nullptr);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, BypassAndReplayReleaseTheHeldPacket) {
    // Close or open sets the bypass flag: no packet enters the WAN to count the held one
    // out, so it passes on at once instead of waiting for the next load.
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(5);
    block.setOutOfOrderMaxRange(5);
    play();
    random.push({kHit, 0});
    send(0, 100, 1);
    EXPECT_EQ(sink.count(), 0u);
    du_set_bypass(true);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(tag_of(0), 1);
    EXPECT_TRUE(pools_full());

    // A play while playing starts a countdown that may never end: the same holds.
    du_set_bypass(false);
    random.push({kHit, 0});
    send(0, 100, 2);
    EXPECT_EQ(sink.count(), 1u);
    du_play();
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(tag_of(1), 2);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, DrawsOfAnEmptyRangeGiveItsLowerBoundAsTheModelsDo) {
    // b + 1 - a cuts to a span of 0 in 16 bits: the draw gives a, never a + 65,535.
    random.push({0, 0x7FFF, 0x4000});
    EXPECT_EQ(du_rand(5, 4), 5u);
    EXPECT_EQ(du_rand(0, 65535), 0u);
    EXPECT_EQ(du_rand(64, 63), 64u);
    random.push({0x7FFF, 0});
    EXPECT_EQ(du_rand(1, 100), 100u); // the top draw folds into the range
    EXPECT_EQ(du_rand(1, 100), 1u);
    EXPECT_EQ(random.underruns(), 0u);
}
