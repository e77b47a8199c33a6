#include "quellin_models/LossDelay.h"
#include "FakeRuntime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace quellin::models;
using quellin::models::test::draw_for;
using quellin::models::test::FakeRuntime;

namespace {

uint16_t chance_draw(uint32_t value) {
    return draw_for(1, 10000, value);
}

struct Series {
    std::vector<uint8_t> bytes;
    RecordedSeries make(const std::vector<int16_t>& delay, const std::vector<int16_t>& loss,
                        uint16_t interval) {
        bytes.clear();
        for (const auto& list : {delay, loss}) {
            for (int16_t v : list) {
                bytes.push_back(static_cast<uint8_t>(v));
                bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
            }
        }
        RecordedSeries s;
        s.count = static_cast<uint16_t>(delay.size());
        s.interval = interval;
        s.tail = bytes;
        return s;
    }
};

class LossDelay : public ::testing::Test {
protected:
    FakeRuntime rt;
    ModelParams p;
    ModelState s;
    void load() { load_model_state(s, p, rt.nowUs, true); }
};

} // namespace

TEST_F(LossDelay, PeriodicEveryOneLosesEverySecondPacketOfEachDirection) {
    p.loss.type = 1;
    p.loss.every = 1;
    load();
    std::vector<uint16_t> out;
    for (int i = 0; i < 6; ++i)
        out.push_back(du_is_error_packet(s, p, rt, 0));
    EXPECT_EQ(out, (std::vector<uint16_t>{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(du_is_error_packet(s, p, rt, 1), 0); // the other direction counts on its own
    EXPECT_EQ(du_is_error_packet(s, p, rt, 1), 1);
    EXPECT_EQ(rt.draws, 0);
}

TEST_F(LossDelay, GilbertElliottDrawsTheTransitionBeforeTheLoss) {
    p.loss.type = 6;
    p.loss.gilbertToBad = 10000;
    p.loss.gilbertGood = 0;
    p.loss.gilbertBad = 1;
    load();
    // First draw moves to bad; the second, 1, loses only in the bad state.
    rt.script = {chance_draw(10000), chance_draw(1)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0x01);
    EXPECT_EQ(s.gilbertState, 1u);
}

TEST_F(LossDelay, GilbertElliottWithCertainTransitionsAlternatesFromBad) {
    p.loss.type = 6;
    p.loss.gilbertToBad = 10000;
    p.loss.gilbertToGood = 10000;
    p.loss.gilbertGood = 0;
    p.loss.gilbertBad = 10000;
    load();
    rt.strict = false;
    std::vector<uint16_t> out;
    for (int i = 0; i < 6; ++i)
        out.push_back(du_is_error_packet(s, p, rt, i % 2));
    EXPECT_EQ(out, (std::vector<uint16_t>{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(rt.draws, 12);
}

TEST_F(LossDelay, BurstOfLengthThreeLosesThreePacketsOfItsDirection) {
    p.loss.type = 3;
    p.loss.burstChance = 500;
    p.loss.burstMin = 2;
    p.loss.burstMax = 4;
    load();
    rt.script = {chance_draw(500), draw_for(2, 4, 3)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
    rt.script = {chance_draw(501)}; // inbound is not in the burst
    EXPECT_EQ(du_is_error_packet(s, p, rt, 1), 0);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
    EXPECT_TRUE(rt.script.empty());
    rt.script = {chance_draw(501)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0); // the type decides again
    EXPECT_TRUE(rt.script.empty());
}

TEST_F(LossDelay, BurstOfLengthZeroOrOneLosesOnlyTheStartingPacket) {
    p.loss.type = 3;
    p.loss.burstChance = 10000;
    p.loss.burstMin = 0;
    p.loss.burstMax = 1;
    load();
    for (uint16_t length : {0, 1}) {
        rt.script = {chance_draw(1), draw_for(0, 1, length)};
        EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
        p.loss.burstChance = 0;
        rt.script = {chance_draw(1)};
        EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
        p.loss.burstChance = 10000;
    }
}

TEST_F(LossDelay, NormalDelayWithoutJitterIsTheMinimum) {
    p.delay.type = 1;
    p.delay.minDelay = 120;
    load();
    rt.strict = false;
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 120000u);
}

TEST_F(LossDelay, NormalDelayScalesTheTableEntryAndStopsAtZero) {
    p.delay.type = 1;
    p.delay.minDelay = 10;
    p.delay.jitter = 50;
    load();
    for (uint32_t i : {0u, 500u, 1000u}) {
        rt.script = {draw_for(0, 1000, i)};
        const int64_t expected = 10 + int64_t{kNormalTable[i]} * 50 / 10000;
        EXPECT_EQ(du_get_next_delay_sample(s, p, rt),
                  static_cast<uint64_t>(std::max<int64_t>(expected, 0)) * 1000);
    }
    EXPECT_EQ(kNormalTable[1000], 0);
}

TEST_F(LossDelay, BoundedWalkStepsWithinItsLimitAndRange) {
    p.delay = {2, 100, 300, 0, 20, 0};
    load();
    EXPECT_EQ(s.walkCurrent, 200u);
    rt.strict = false;
    int64_t last = 200;
    for (int i = 0; i < 5000; ++i) {
        const int64_t d = static_cast<int64_t>(du_get_next_delay_sample(s, p, rt) / 1000);
        ASSERT_LE(std::llabs(d - last), 20);
        ASSERT_GE(d, 100);
        ASSERT_LE(d, 300);
        last = d;
    }
}

TEST_F(LossDelay, BoundedWalkWithoutStepDrawsOverTheWholeRange) {
    p.delay = {2, 100, 300, 0, 0, 0};
    load();
    rt.script = {0x7FFF, 0};
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 300000u);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 100000u);
}

TEST_F(LossDelay, LinearSweepRisesOverItsSpanAndStartsAgain) {
    p.delay = {5, 100, 200, 0, 0, 10};
    load();
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 100000u);
    rt.advance_ms(5000);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 150000u);
    rt.advance_ms(5000);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 100000u);
    EXPECT_EQ(rt.draws, 0);
}

TEST_F(LossDelay, RecordedInTimeInterpolatesAndAdvancesByWholeIntervals) {
    Series series;
    p.series = series.make({100, 200, 300, -1}, {0, 0, 0, 0}, 1000);
    p.delay.type = 3;
    p.delay.minDelay = 7;
    load();
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 100000u);
    rt.advance_ms(500);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 150000u);
    rt.advance_ms(700); // 1,200 ms: one interval, the rest dropped
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 200000u);
    EXPECT_EQ(s.seriesPosition, 1);
    rt.advance_ms(1000); // position 2: the next sample is missing, so no interpolation
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 300000u);
    rt.advance_ms(2500); // two intervals: position 0 after wrapping past 3
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 100000u);
    EXPECT_EQ(s.seriesPosition, 0);
    rt.advance_ms(3000); // position 3 is missing: its predecessor stands in
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 300000u);
    rt.advance_ms(500); // from 300 towards sample 0 (100)
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 200000u);
    EXPECT_EQ(rt.draws, 0);
}

TEST_F(LossDelay, RecordedTypesWithoutSamplesPlayFixedDelayAndNoLoss) {
    p.delay.type = 3;
    p.delay.minDelay = 42;
    p.loss.type = 4;
    load();
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 42000u);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    p.delay.type = 4;
    p.loss.type = 5;
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 42000u);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    // Samples but an interval of 0.
    Series series;
    p.series = series.make({5, 6}, {10000, 10000}, 0);
    p.delay.type = 3;
    p.loss.type = 4;
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 42000u);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    EXPECT_EQ(rt.draws, 0);
}

TEST_F(LossDelay, RecordedAtRandomSharesThePositionWithTheLossPick) {
    Series series;
    p.series = series.make({10, 20, 30}, {0, 10000, 0}, 100);
    p.delay.type = 4;
    p.loss.type = 5;
    load();
    rt.script = {draw_for(1, 3, 2), chance_draw(10000)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 20000u); // no draw within the interval
    EXPECT_TRUE(rt.script.empty());
    rt.advance_ms(100);
    rt.script = {draw_for(1, 3, 3)};
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 30000u);
}

TEST_F(LossDelay, RecordedLossInTimeFollowsThePosition) {
    Series series;
    p.series = series.make({0, 0}, {0, 10000}, 200);
    p.loss.type = 4;
    load();
    rt.script = {chance_draw(1)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    rt.advance_ms(200);
    rt.script = {chance_draw(10000)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
}

TEST_F(LossDelay, CongestionOverridesLossAndDelay) {
    p.loss.type = 1; // every packet lost without congestion
    p.loss.every = 0;
    p.delay.minDelay = 5;
    p.congestion = {{1, 100, 100}, 0, 250};
    load();
    rt.script = {0, 0}; // C = 1: the draw is always 1 = (1 + 1) / 2; then the length
    du_make_congestion(s, p, rt);
    ASSERT_TRUE(s.congestion.active(rt.todayMs));
    rt.script = {chance_draw(1)};
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 250000u);
    EXPECT_EQ(s.direction[0].counter, 0); // the loss type was not consulted
    rt.advance_ms(100);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 1);
    EXPECT_EQ(du_get_next_delay_sample(s, p, rt), 5000u);
    EXPECT_EQ(s.congestion.end, 0u);
}

TEST_F(LossDelay, DisconnectStartsOnlyOnTheExactDrawAndLosesEverything) {
    p.disconnect = {10, 10, 30000};
    load();
    rt.script = {draw_for(1, 10, 4)};
    du_calc_disconnect_chance(s, p, rt);
    EXPECT_EQ(s.disconnect.end, 0u);
    rt.script = {draw_for(1, 10, 6)};
    du_calc_disconnect_chance(s, p, rt);
    EXPECT_EQ(s.disconnect.end, 0u);
    rt.script = {draw_for(1, 10, 5), draw_for(10, 30000, 2000)};
    du_calc_disconnect_chance(s, p, rt);
    EXPECT_EQ(s.disconnect.end, rt.todayMs + 2000);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 1), 0x100);
    du_calc_disconnect_chance(s, p, rt); // active: no draw
    rt.advance_ms(2000);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 1), 0);
    EXPECT_EQ(s.disconnect.end, 0u);
}

TEST_F(LossDelay, CongestionStartsOnTheRoundedUpHalf) {
    p.congestion = {{11, 10, 10}, 0, 0};
    load();
    rt.script = {draw_for(1, 11, 5)}; // C / 2 would start a disconnect, not a congestion
    du_make_congestion(s, p, rt);
    EXPECT_EQ(s.congestion.end, 0u);
    rt.script = {draw_for(1, 11, 6), 0};
    du_make_congestion(s, p, rt);
    EXPECT_EQ(s.congestion.end, rt.todayMs + 10);
}

TEST_F(LossDelay, CappedPeriodEndsWhenTheClockOfDayRestarts) {
    p.disconnect = {4, 5000, 5000};
    load();
    rt.todayMs = kLastMsOfDay - 1000;
    rt.script = {draw_for(1, 4, 2), 0};
    du_calc_disconnect_chance(s, p, rt);
    EXPECT_EQ(s.disconnect.end, kLastMsOfDay);
    rt.advance_ms(500);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0x100);
    rt.advance_ms(1000); // past midnight: 499 ms of the new day
    EXPECT_LT(rt.todayMs, 1000u);
    EXPECT_EQ(du_is_error_packet(s, p, rt, 0), 0);
    EXPECT_EQ(s.disconnect.end, 0u);
}
