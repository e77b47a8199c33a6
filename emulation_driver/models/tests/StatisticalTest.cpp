#include "FakeRuntime.h"
#include "quellin_models/LossDelay.h"

#include <gtest/gtest.h>

using namespace quellin::models;
using quellin::models::test::FakeRuntime;

namespace {
double loss_rate(ModelParams& p, uint32_t seed, int packets) {
    FakeRuntime rt(seed);
    rt.strict = false;
    ModelState s;
    load_model_state(s, p, rt.nowUs, true);
    int lost = 0;
    for (int i = 0; i < packets; ++i)
        lost += du_is_error_packet(s, p, rt, i & 1) != 0 ? 1 : 0;
    return 100.0 * lost / packets;
}
} // namespace

TEST(LossStatistics, RandomTenPercent) {
    ModelParams p;
    p.loss.type = 2;
    p.loss.randomly = 1000;
    EXPECT_NEAR(loss_rate(p, 12345, 100000), 10.0, 0.6);
}

TEST(LossStatistics, GilbertElliottMeanNearItsStationaryValue) {
    ModelParams p;
    p.loss.type = 6;
    p.loss.gilbertToBad = 500;                        // 5 %
    p.loss.gilbertToGood = 2000;                      // 20 %: a fifth of the time bad
    p.loss.gilbertGood = 100;                         // 1 %
    p.loss.gilbertBad = 5000;                         // 50 %
    const double stationary = 0.8 * 1.0 + 0.2 * 50.0; // 10.8 %
    EXPECT_NEAR(loss_rate(p, 777, 200000), stationary, 1.0);
}

TEST(LossStatistics, BurstLossMatchesItsExpectedShare) {
    ModelParams p;
    p.loss.type = 3;
    p.loss.burstChance = 100; // 1 % of decisions start a burst of 1 to 5 (mean 3)
    p.loss.burstMin = 1;
    p.loss.burstMax = 5;
    // Per direction: a burst of mean 3 packets follows each start, then decisions resume:
    // loss share = 3 * 0.01 / (1 + 2 * 0.01).
    EXPECT_NEAR(loss_rate(p, 99, 200000), 100.0 * 0.03 / 1.02, 0.3);
}
