#include "AltirenPlayCheck/PlayCheck.h"
#include "AltirenPlayCheck/Defaults.h"

#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <set>

using namespace altiren_api;

namespace {

PlayParameters defaults() {
    PlayParameters p;
    set_default_play_params(p);
    return p;
}

int run(const std::function<void(PlayParameters&)>& change) {
    PlayParameters p = defaults();
    change(p);
    PlayBlockValues b;
    return check_and_convert(p, b);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const uint32_t kDelays[3] = {10, 20, 30};
const uint32_t kBadDelays[3] = {10, 8001, 30};
const uint32_t kLosses[3] = {0, 94, 95};

struct Fault {
    const char* name;
    std::function<void(PlayParameters&)> change;
    int code;
};

// One fault per record; the code names the check that must catch it.
const Fault kFaults[] = {
    {"latency type 5", [](PlayParameters& p) { p.latencyType = 5; }, 3},
    {"max delay 8001", [](PlayParameters& p) { p.maxDelay = 8001; }, 5},
    {"max below min", [](PlayParameters& p) { p.minDelay = 10, p.maxDelay = 9; }, 6},
    {"jitter 8001", [](PlayParameters& p) { p.latencyType = 1, p.jitter = 8001; }, 7},
    {"walk step too big",
     [](PlayParameters& p) { p.latencyType = 2, p.maxDelay = 100, p.maxDelayDiff = 52; }, 8},
    {"sweep without span", [](PlayParameters& p) { p.latencyType = 4; }, 9},
    {"loss type 6", [](PlayParameters& p) { p.lossType = 6; }, 10},
    {"loss type -1", [](PlayParameters& p) { p.lossType = -1; }, 10},
    {"period 1", [](PlayParameters& p) { p.lossType = 1, p.lossPeriod = 1; }, 11},
    {"random 90.01", [](PlayParameters& p) { p.lossType = 2, p.randomLoss = 90.01; }, 12},
    {"random NaN", [](PlayParameters& p) { p.lossType = 2, p.randomLoss = kNaN; }, 12},
    {"loss sample 95",
     [](PlayParameters& p) {
         p.sampleCount = 3, p.sampleInterval = 100, p.delaySamples = kDelays,
         p.lossSamples = kLosses;
     },
     13},
    {"burst chance 0", [](PlayParameters& p) { p.lossType = 3, p.burstChance = 0; }, 14},
    {"burst chance NaN", [](PlayParameters& p) { p.lossType = 3, p.burstChance = kNaN; }, 14},
    {"burst min 0", [](PlayParameters& p) { p.lossType = 3, p.burstChance = 1; }, 15},
    {"burst max 65535",
     [](PlayParameters& p) {
         p.lossType = 3, p.burstChance = 1, p.burstMin = 1, p.burstMax = 65535;
     },
     16},
    {"burst max below min",
     [](PlayParameters& p) { p.lossType = 3, p.burstChance = 1, p.burstMin = 5, p.burstMax = 4; },
     17},
    {"gilbert good negative", [](PlayParameters& p) { p.lossType = 5, p.gilbertGoodLoss = -1; },
     18},
    {"gilbert good NaN", [](PlayParameters& p) { p.lossType = 5, p.gilbertGoodLoss = kNaN; }, 18},
    {"gilbert bad 100.5", [](PlayParameters& p) { p.lossType = 5, p.gilbertBadLoss = 100.5; }, 19},
    {"gilbert bad not above good",
     [](PlayParameters& p) { p.lossType = 5, p.gilbertGoodLoss = 5, p.gilbertBadLoss = 5; }, 20},
    {"gilbert to-bad NaN", [](PlayParameters& p) { p.lossType = 5, p.gilbertToBad = kNaN; }, 18},
    {"gilbert to-good 99.991", [](PlayParameters& p) { p.lossType = 5, p.gilbertToGood = 99.991; },
     19},
    {"bandwidth 2.3", [](PlayParameters& p) { p.westInBandwidth = 2.3; }, 21},
    {"bandwidth NaN", [](PlayParameters& p) { p.eastOutBandwidth = kNaN; }, 21},
    {"bandwidth 10240.5", [](PlayParameters& p) { p.eastInBandwidth = 10240.5; }, 22},
    {"bandwidth infinite", [](PlayParameters& p) { p.westOutBandwidth = INFINITY; }, 22},
    {"bucket size 1", [](PlayParameters& p) { p.westBucketSize = 1; }, 23},
    {"bucket mode 2", [](PlayParameters& p) { p.eastBucketMode = 2; }, 25},
    {"overhead 1001", [](PlayParameters& p) { p.westOverhead = 1001; }, 27},
    {"RED minimum 1", [](PlayParameters& p) { p.eastRedMinThreshold = 1; }, 28},
    {"RED maximum above bucket",
     [](PlayParameters& p) { p.westBucketSize = 100, p.westRedMaxThreshold = 101; }, 29},
    {"RED maximum below minimum",
     [](PlayParameters& p) { p.eastRedMinThreshold = 2, p.eastRedMaxThreshold = 1; }, 30},
    {"percentage 101", [](PlayParameters& p) { p.eastOutPercentage = 101; }, 32},
    {"percentage with unlimited", [](PlayParameters& p) { p.westInPercentage = 10; }, 33},
    {"out of order 51", [](PlayParameters& p) { p.outOfOrderChance = 51; }, 34},
    {"out of order 0", [](PlayParameters& p) { p.outOfOrderChance = 0; }, 34},
    {"out of order range 65",
     [](PlayParameters& p) { p.outOfOrderChance = 10, p.outOfOrderMaxRange = 65; }, 36},
    {"out of order range reversed",
     [](PlayParameters& p) {
         p.outOfOrderChance = 10, p.outOfOrderMinRange = 3, p.outOfOrderMaxRange = 2;
     },
     37},
    {"duplication 100", [](PlayParameters& p) { p.duplicationChance = 100; }, 38},
    {"duplication min 0", [](PlayParameters& p) { p.duplicationChance = 5; }, 39},
    {"duplication max 21",
     [](PlayParameters& p) {
         p.duplicationChance = 5, p.duplicationMinBurst = 1, p.duplicationMaxBurst = 21;
     },
     40},
    {"duplication reversed",
     [](PlayParameters& p) {
         p.duplicationChance = 5, p.duplicationMinBurst = 3, p.duplicationMaxBurst = 2;
     },
     41},
    {"fragmentation 0", [](PlayParameters& p) { p.fragmentationChance = 0; }, 42},
    {"fragment size 63", [](PlayParameters& p) { p.fragmentationChance = 5, p.fragmentSize = 63; },
     43},
    {"fragment order 4",
     [](PlayParameters& p) {
         p.fragmentationChance = 5, p.fragmentSize = 1460, p.fragmentOrder = 4;
     },
     44},
    {"bit error 99", [](PlayParameters& p) { p.bitErrorChance = 99; }, 45},
    {"bit error above 10^12", [](PlayParameters& p) { p.bitErrorChance = 1000000000001ull; }, 45},
    {"bit error burst 501",
     [](PlayParameters& p) { p.bitErrorChance = 100, p.bitErrorMaxBurst = 501; }, 47},
    {"bit error reversed",
     [](PlayParameters& p) {
         p.bitErrorChance = 100, p.bitErrorMinBurst = 2, p.bitErrorMaxBurst = 1;
     },
     48},
    {"disconnect 2", [](PlayParameters& p) { p.disconnectChance = 2; }, 49},
    {"disconnect min 9", [](PlayParameters& p) { p.disconnectChance = 3, p.disconnectMinTime = 9; },
     50},
    {"disconnect max 30001",
     [](PlayParameters& p) {
         p.disconnectChance = 3, p.disconnectMinTime = 10, p.disconnectMaxTime = 30001;
     },
     51},
    {"disconnect reversed",
     [](PlayParameters& p) {
         p.disconnectChance = 3, p.disconnectMinTime = 20, p.disconnectMaxTime = 19;
     },
     52},
    {"congestion 301", [](PlayParameters& p) { p.congestionChance = 301; }, 53},
    {"congestion min 9",
     [](PlayParameters& p) { p.congestionChance = 1, p.congestionMinDuration = 9; }, 54},
    {"congestion reversed",
     [](PlayParameters& p) {
         p.congestionChance = 1, p.congestionMinDuration = 20, p.congestionMaxDuration = 19;
     },
     56},
    {"congestion delay 8001",
     [](PlayParameters& p) {
         p.congestionChance = 1, p.congestionMinDuration = 10, p.congestionMaxDuration = 10,
         p.congestionConstantDelay = 8001;
     },
     58},
    {"congestion error negative",
     [](PlayParameters& p) {
         p.congestionChance = 1, p.congestionMinDuration = 10, p.congestionMaxDuration = 10,
         p.congestionPeakError = -0.5;
     },
     59},
    {"congestion error NaN",
     [](PlayParameters& p) {
         p.congestionChance = 1, p.congestionMinDuration = 10, p.congestionMaxDuration = 10,
         p.congestionPeakError = kNaN;
     },
     59},
    {"congestion error 90.5",
     [](PlayParameters& p) {
         p.congestionChance = 1, p.congestionMinDuration = 10, p.congestionMaxDuration = 10,
         p.congestionPeakError = 90.5;
     },
     60},
    {"filter count negative", [](PlayParameters& p) { p.filterCount = 0x80000000u; }, 61},
    {"filter count 12", [](PlayParameters& p) { p.filterCount = 12; }, 62},
    {"filter address zero", [](PlayParameters& p) { p.filterCount = 1; }, 63},
    {"filter address broadcast",
     [](PlayParameters& p) { p.filterCount = 1, p.filterAddresses[0] = 0xFFFFFFFFu; }, 63},
    {"exclude the adapter",
     [](PlayParameters& p) {
         p.adapterAddress = p.filterAddresses[0] = htonl(0xC6120001);
         p.filterCount = 1;
     },
     63},
    {"filter mode 2", [](PlayParameters& p) { p.filterMode = 2; }, 64},
    {"include nothing", [](PlayParameters& p) { p.filterMode = 1; }, 65},
    {"interval 50", [](PlayParameters& p) { p.sampleCount = 3, p.sampleInterval = 50; }, 66},
    {"count without interval", [](PlayParameters& p) { p.sampleCount = 3; }, 66},
    {"recorded latency without samples", [](PlayParameters& p) { p.latencyType = 3; }, 66},
    {"recorded loss without samples", [](PlayParameters& p) { p.lossType = 4; }, 66},
    {"interval 2001", [](PlayParameters& p) { p.sampleCount = 3, p.sampleInterval = 2001; }, 67},
    {"901 samples at 1000 ms",
     [](PlayParameters& p) { p.sampleCount = 901, p.sampleInterval = 1000; }, 69},
    {"samples missing", [](PlayParameters& p) { p.sampleCount = 3, p.sampleInterval = 100; }, 70},
    {"delay sample 8001",
     [](PlayParameters& p) {
         p.sampleCount = 3, p.sampleInterval = 100, p.delaySamples = kBadDelays,
         p.lossSamples = kLosses;
     },
     5},
};

} // namespace

TEST(PlayCheck, EveryFaultGivesItsCode) {
    std::set<int> covered;
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(run(f.change), f.code);
        covered.insert(f.code);
    }
    const std::set<int> all = {3,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18,
                               19, 20, 21, 22, 23, 25, 27, 28, 29, 30, 32, 33, 34, 36, 37,
                               38, 39, 40, 41, 42, 43, 44, 45, 47, 48, 49, 50, 51, 52, 53,
                               54, 56, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 69, 70};
    EXPECT_EQ(covered, all);
}

TEST(PlayCheck, DefaultsPassAndLimitsAreInclusive) {
    EXPECT_EQ(run([](PlayParameters&) {}), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.lossType = 2, p.randomLoss = 90.0; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.lossType = 2, p.randomLoss = 0.01; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOutBandwidth = 10240; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOutBandwidth = 2.4; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastRedMinThreshold = 2, p.eastRedMaxThreshold = 2; }),
              0);
    EXPECT_EQ(run([](PlayParameters& p) {
                  p.sampleCount = 900, p.sampleInterval = 1000, p.delaySamples = nullptr;
              }),
              70); // 900 samples pass the count check
    EXPECT_EQ(run([](PlayParameters& p) {
                  p.latencyType = 2, p.minDelay = 0, p.maxDelay = 100, p.maxDelayDiff = 51;
              }),
              0);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOutBandwidth = 100, p.eastOutPercentage = 100; }),
              0);
}

TEST(PlayCheck, SubFieldsOfAnOffGroupAreNotChecked) {
    EXPECT_EQ(run([](PlayParameters& p) { p.outOfOrderMaxRange = 999; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.duplicationMaxBurst = 999; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.fragmentSize = 1; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.bitErrorMaxBurst = 999; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.disconnectMaxTime = 60000; }), 0);
    EXPECT_EQ(run([](PlayParameters& p) { p.congestionPeakError = kNaN; }), 0);
    // Loss fields of another type are not looked at either.
    EXPECT_EQ(run([](PlayParameters& p) { p.lossType = 1, p.lossPeriod = 2, p.randomLoss = kNaN; }),
              0);
}

TEST(PlayCheck, FirstFailingGroupWins) {
    // Latency comes before loss, loss before the gateway, the gateway before the filter.
    EXPECT_EQ(run([](PlayParameters& p) { p.maxDelay = 9000, p.lossType = 9; }), 5);
    EXPECT_EQ(run([](PlayParameters& p) { p.lossType = 9, p.eastOutBandwidth = 1; }), 10);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOutBandwidth = 1, p.filterMode = 5; }), 21);
    // Within the gateway: bandwidths, bucket sizes, modes, overheads, RED, percentages.
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOverhead = 2000, p.eastBucketSize = 0; }), 23);
    EXPECT_EQ(run([](PlayParameters& p) { p.eastOutPercentage = 200, p.westRedMinThreshold = 1; }),
              28);
    // A delay sample above 8000 is reported before the loss sample of the same index.
    static const uint32_t delays[] = {8001};
    static const uint32_t losses[] = {95};
    EXPECT_EQ(run([](PlayParameters& p) {
                  p.sampleCount = 1, p.sampleInterval = 100, p.delaySamples = delays,
                  p.lossSamples = losses;
              }),
              5);
}

TEST(PlayCheck, ConversionsScaleAndTruncateWithGuard) {
    EXPECT_EQ(scaled_truncate(0.29, 100), 29u);
    EXPECT_EQ(scaled_truncate(5.7, 10), 57u);
    EXPECT_EQ(scaled_truncate(1.005, 100), 100u); // a real fraction still truncates
    EXPECT_EQ(scaled_truncate(429496729.5, 10), 0xFFFFFFFFu);

    PlayParameters p = defaults();
    p.eastOutBandwidth = 5.7;
    p.eastInBandwidth = 10240;
    p.lossType = 2;
    p.randomLoss = 0.29;
    PlayBlockValues b;
    ASSERT_EQ(check_and_convert(p, b), 0);
    EXPECT_EQ(b.eastOut, 57u);
    EXPECT_EQ(b.eastIn, 102400u);
    EXPECT_EQ(b.westOut, 0xFFFFFFFFu);
    EXPECT_EQ(b.lossType, 2);
    EXPECT_EQ(b.lossRandomly, 29);
}

TEST(PlayCheck, GroupConversions) {
    PlayParameters p = defaults();
    p.latencyType = 4;
    p.minDelay = 10;
    p.maxDelay = 50;
    p.maxDelayDiff = 7;
    p.timeSpan = 30;
    p.lossType = 5;
    p.gilbertGoodLoss = 0;
    p.gilbertBadLoss = 50;
    p.gilbertToGood = 0.2;
    p.gilbertToBad = 99.99;
    p.outOfOrderChance = 10, p.outOfOrderMinRange = 1, p.outOfOrderMaxRange = 64;
    p.bitErrorChance = 1000000000000ull, p.bitErrorMinBurst = 1, p.bitErrorMaxBurst = 500;
    p.congestionChance = 300, p.congestionMinDuration = 10, p.congestionMaxDuration = 20;
    p.congestionPeakError = 0.29, p.congestionConstantDelay = 8000;
    p.filterMode = 1, p.filterCount = 2;
    p.filterAddresses[0] = htonl(0xC6120002);
    p.filterAddresses[1] = htonl(0xC6120003);
    PlayBlockValues b;
    ASSERT_EQ(check_and_convert(p, b), 0);
    EXPECT_EQ(b.delayType, 5);
    EXPECT_EQ(b.maxDelayDiff, 7);
    EXPECT_EQ(b.timeSpanSec, 30);
    EXPECT_EQ(b.lossType, 6);
    EXPECT_EQ(b.gilbertGood, 0);
    EXPECT_EQ(b.gilbertBad, 5000);
    EXPECT_EQ(b.gilbertToGood, 20);
    EXPECT_EQ(b.gilbertToBad, 9999);
    EXPECT_EQ(b.outOfOrderChance, 10);
    EXPECT_EQ(b.outOfOrderMaxRange, 64);
    EXPECT_EQ(b.duplicationChance, 0); // off
    EXPECT_EQ(b.bitErrorChance, 1000000000000ull);
    EXPECT_EQ(b.congestionPeakError, 29);
    EXPECT_EQ(b.congestionConstantDelay, 8000);
    EXPECT_EQ(b.filterMode, 1u);
    EXPECT_EQ(b.filterCount, 2u);
    EXPECT_EQ(b.filters[1].firstAddress, 0xC6120003u);
    EXPECT_EQ(b.filters[1].lastAddress, 0xC6120003u);

    p = defaults();
    p.latencyType = 1;
    p.maxDelayDiff = 9;
    p.lossType = 1;
    p.lossPeriod = 2;
    ASSERT_EQ(check_and_convert(p, b = PlayBlockValues{}), 0);
    EXPECT_EQ(b.maxDelayDiff, 0xFFFF);
    EXPECT_EQ(b.lossEvery, 1);
}

TEST(PlayCheck, RecordedSeriesFillsTheTail) {
    static const uint32_t delays[] = {0, 8000, 70000 - 65536};
    static const uint32_t losses[] = {0, 94, 1};
    PlayParameters p = defaults();
    p.lossType = 4;
    p.recordedKind = 2;
    p.sampleCount = 3;
    p.sampleInterval = 2000;
    p.delaySamples = delays;
    p.lossSamples = losses;
    PlayBlockValues b;
    ASSERT_EQ(check_and_convert(p, b), 0);
    EXPECT_EQ(b.delayType, 4);
    EXPECT_EQ(b.lossType, 5);
    EXPECT_EQ(b.sampleCount, 3);
    EXPECT_EQ(b.sampleInterval, 2000);
    EXPECT_EQ(b.delaySamples, (std::vector<uint16_t>{0, 8000, 4464}));
    EXPECT_EQ(b.lossSamples, (std::vector<uint16_t>{0, 9400, 100}));

    // Without a loss series the loss half is present and zero.
    p.lossType = 0;
    p.recordedKind = 1;
    p.lossSamples = nullptr;
    ASSERT_EQ(check_and_convert(p, b = PlayBlockValues{}), 0);
    EXPECT_EQ(b.delayType, 3);
    EXPECT_EQ(b.lossType, 0);
    EXPECT_EQ(b.lossSamples, (std::vector<uint16_t>{0, 0, 0}));
}

TEST(PlayCheck, DefaultsMatchTheDocumentedValues) {
    PlayParameters p;
    std::memset(&p, 0xA5, sizeof p);
    set_default_play_params(p);
    EXPECT_EQ(p.eastOutBandwidth, 4294967295.0);
    EXPECT_EQ(p.westInBandwidth, 4294967295.0);
    EXPECT_EQ(p.eastBucketSize, 65535);
    EXPECT_EQ(p.westBucketMode, 1);
    EXPECT_EQ(p.gilbertBadLoss, 0.01);
    EXPECT_EQ(p.gilbertToGood, 0.2);
    EXPECT_EQ(p.outOfOrderChance, 65535);
    EXPECT_EQ(p.bitErrorChance, 65535u);
    EXPECT_EQ(p.recordedKind, 1);
    EXPECT_EQ(p.delaySamples, nullptr);
    EXPECT_EQ(p.reserved0, 0u);
    EXPECT_EQ(p.reserved1, 0u);
    EXPECT_EQ(p.filterAddresses[10], 0u);
}
