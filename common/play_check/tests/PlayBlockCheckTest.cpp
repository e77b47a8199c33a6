// The driver's check of a block it is asked to load, against the library's own checks: what
// the library builds passes, and every field it refuses is refused in a block.
#include "AltirenPlayCheck/PlayBlockCheck.h"
#include "AltirenPlayCheck/BlockBuilder.h"
#include "AltirenPlayCheck/Defaults.h"

#include <arpa/inet.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace altiren_api;
using quellin::wire::DriverPlayBlock;

namespace {

const uint32_t kDelays[4] = {0, 8000, 20, 100};
const uint32_t kLosses[4] = {0, 94, 50, 1};

// The block the library builds from the defaults changed by `change`; fails the test when
// the library refuses the parameters.
DriverPlayBlock library_block(const std::function<void(PlayParameters&)>& change) {
    PlayParameters p;
    set_default_play_params(p);
    change(p);
    PlayBlockValues v;
    EXPECT_EQ(check_and_convert(p, v), 0);
    return build_play_block(v);
}

struct Good {
    const char* name;
    std::function<void(PlayParameters&)> change;
};

const Good kGood[] = {
    {"defaults", [](PlayParameters&) {}},
    {"fixed at the top", [](PlayParameters& p) { p.minDelay = p.maxDelay = 8000; }},
    {"normal",
     [](PlayParameters& p) { p.latencyType = 1, p.minDelay = p.maxDelay = 50, p.jitter = 8000; }},
    {"walk", [](PlayParameters& p) { p.latencyType = 2, p.maxDelay = 100, p.maxDelayDiff = 51; }},
    {"sweep", [](PlayParameters& p) { p.latencyType = 4, p.maxDelay = 10, p.timeSpan = 1; }},
    {"periodic", [](PlayParameters& p) { p.lossType = 1, p.lossPeriod = 2; }},
    {"periodic longest", [](PlayParameters& p) { p.lossType = 1, p.lossPeriod = 65535; }},
    {"random top", [](PlayParameters& p) { p.lossType = 2, p.randomLoss = 90.0; }},
    {"random least", [](PlayParameters& p) { p.lossType = 2, p.randomLoss = 0.01; }},
    {"burst",
     [](PlayParameters& p) {
         p.lossType = 3, p.burstChance = 0.01, p.burstMin = 1, p.burstMax = 65534;
     }},
    {"Gilbert-Elliott",
     [](PlayParameters& p) {
         p.lossType = 5, p.gilbertGoodLoss = 99.98, p.gilbertBadLoss = 100.0,
         p.gilbertToGood = 99.99, p.gilbertToBad = 0.01;
     }},
    {"gateways",
     [](PlayParameters& p) {
         p.eastOutBandwidth = 2.4, p.eastInBandwidth = 10240, p.westOutBandwidth = 1000.05;
         p.eastOutPercentage = 100, p.eastBucketMode = 0, p.westBucketSize = 2;
         p.eastOverhead = 1000, p.eastBucketSize = 64, p.eastRedMinThreshold = 16;
         p.eastRedMaxThreshold = 64, p.westRedMinThreshold = 2, p.westRedMaxThreshold = 2;
     }},
    {"every effect at its top",
     [](PlayParameters& p) {
         p.outOfOrderChance = 50, p.outOfOrderMinRange = 64, p.outOfOrderMaxRange = 64;
         p.duplicationChance = 99, p.duplicationMinBurst = 20, p.duplicationMaxBurst = 20;
         p.fragmentationChance = 99, p.fragmentSize = 1460, p.fragmentOrder = 3;
         p.bitErrorChance = 1000000000000ull, p.bitErrorMinBurst = 500, p.bitErrorMaxBurst = 500;
         p.disconnectChance = 300, p.disconnectMinTime = 30000, p.disconnectMaxTime = 30000;
         p.congestionChance = 300, p.congestionMinDuration = 10, p.congestionMaxDuration = 65535;
         p.congestionConstantDelay = 8000, p.congestionPeakError = 90;
     }},
    {"every effect at its least",
     [](PlayParameters& p) {
         p.outOfOrderChance = 1, p.duplicationChance = 1, p.duplicationMinBurst = 1;
         p.duplicationMaxBurst = 1, p.fragmentationChance = 1, p.fragmentSize = 64;
         p.bitErrorChance = 100, p.disconnectChance = 3, p.disconnectMinTime = 10;
         p.disconnectMaxTime = 10, p.congestionChance = 1, p.congestionMinDuration = 10;
         p.congestionMaxDuration = 10;
     }},
    {"include eleven",
     [](PlayParameters& p) {
         p.filterMode = 1, p.filterCount = 11;
         for (uint32_t i = 0; i < 11; ++i)
             p.filterAddresses[i] = htonl(0xC6120010 + i);
     }},
    {"exclude beside the adapter",
     [](PlayParameters& p) {
         p.adapterAddress = htonl(0xC6120001);
         p.filterCount = 1, p.filterAddresses[0] = htonl(0xC6120002);
     }},
    {"recorded in time",
     [](PlayParameters& p) {
         p.latencyType = 3, p.lossType = 4, p.recordedKind = 1, p.sampleCount = 4;
         p.sampleInterval = 100, p.delaySamples = kDelays, p.lossSamples = kLosses;
     }},
    {"recorded at random",
     [](PlayParameters& p) {
         p.latencyType = 3, p.lossType = 4, p.recordedKind = 2, p.sampleCount = 4;
         p.sampleInterval = 2000, p.delaySamples = kDelays, p.lossSamples = kLosses;
     }},
    {"recorded delay beside random loss",
     [](PlayParameters& p) {
         p.lossType = 2, p.randomLoss = 5, p.recordedKind = 2, p.sampleCount = 4;
         p.sampleInterval = 100, p.delaySamples = kDelays;
     }},
};

struct Fault {
    const char* name;
    std::function<void(DriverPlayBlock&)> change;
    int code;
};

// Fields the library refuses, written into a block it built from the defaults.
const Fault kFaults[] = {
    {"delay type 6", [](DriverPlayBlock& b) { b.setDelayType(6); }, 3},
    {"max delay 8001", [](DriverPlayBlock& b) { b.setMaxDelay(8001); }, 5},
    {"max below min", [](DriverPlayBlock& b) { b.setMinDelay(10); }, 6},
    {"jitter 8001", [](DriverPlayBlock& b) { b.setDelayType(1), b.setDelayJitter(8001); }, 7},
    {"walk step too big",
     [](DriverPlayBlock& b) { b.setDelayType(2), b.setMaxDelay(100), b.setMaxDelayDiff(52); }, 8},
    {"sweep without span", [](DriverPlayBlock& b) { b.setDelayType(5); }, 9},
    {"loss type 7", [](DriverPlayBlock& b) { b.setLossType(7); }, 10},
    {"loss type -1", [](DriverPlayBlock& b) { b.setLossType(-1); }, 10},
    {"every 0", [](DriverPlayBlock& b) { b.setLossType(1); }, 11},
    {"every 65535", [](DriverPlayBlock& b) { b.setLossType(1), b.setLossEvery(65535); }, 11},
    {"random 0", [](DriverPlayBlock& b) { b.setLossType(2); }, 12},
    {"random 9001", [](DriverPlayBlock& b) { b.setLossType(2), b.setLossRandomly(9001); }, 12},
    {"burst chance 9001", [](DriverPlayBlock& b) { b.setLossType(3), b.setBurstChance(9001); }, 14},
    {"burst min 0", [](DriverPlayBlock& b) { b.setLossType(3), b.setBurstChance(1); }, 15},
    {"burst max 65535",
     [](DriverPlayBlock& b) {
         b.setLossType(3), b.setBurstChance(1), b.setBurstMin(1), b.setBurstMax(65535);
     },
     16},
    {"burst reversed",
     [](DriverPlayBlock& b) {
         b.setLossType(3), b.setBurstChance(1), b.setBurstMin(5), b.setBurstMax(4);
     },
     17},
    {"Gilbert bad 0", [](DriverPlayBlock& b) { b.setLossType(6); }, 18},
    {"Gilbert bad 10001", [](DriverPlayBlock& b) { b.setLossType(6), b.setGilbertBad(10001); }, 19},
    {"Gilbert bad not above good",
     [](DriverPlayBlock& b) { b.setLossType(6), b.setGilbertGood(500), b.setGilbertBad(500); }, 20},
    {"bandwidth 0", [](DriverPlayBlock& b) { b.setWestIn(0); }, 21},
    {"bandwidth 2.3 kbit/s", [](DriverPlayBlock& b) { b.setEastOut(23); }, 21},
    {"bandwidth above 10,240 kbit/s", [](DriverPlayBlock& b) { b.setEastIn(102401); }, 22},
    {"bucket size 1", [](DriverPlayBlock& b) { b.setWestBucketSize(1); }, 23},
    {"bucket mode 2", [](DriverPlayBlock& b) { b.setEastBucketMode(2); }, 25},
    {"overhead 1001", [](DriverPlayBlock& b) { b.setWestOverhead(1001); }, 27},
    {"RED minimum 1", [](DriverPlayBlock& b) { b.setEastMinBucketThreshold(1); }, 28},
    {"RED above the bucket",
     [](DriverPlayBlock& b) { b.setWestBucketSize(100), b.setWestMaxBucketThreshold(101); }, 29},
    {"RED reversed",
     [](DriverPlayBlock& b) { b.setEastMinBucketThreshold(3), b.setEastMaxBucketThreshold(2); },
     30},
    {"out of order 51", [](DriverPlayBlock& b) { b.setOutOfOrderChance(51); }, 34},
    {"out of order 65535", [](DriverPlayBlock& b) { b.setOutOfOrderChance(65535); }, 34},
    {"out of order range 65",
     [](DriverPlayBlock& b) { b.setOutOfOrderChance(10), b.setOutOfOrderMaxRange(65); }, 36},
    {"out of order range wrapped",
     [](DriverPlayBlock& b) {
         b.setOutOfOrderChance(10), b.setOutOfOrderMinRange(60), b.setOutOfOrderMaxRange(5);
     },
     37},
    {"duplication 65535", [](DriverPlayBlock& b) { b.setDuplicationChance(65535); }, 38},
    {"duplication min 0", [](DriverPlayBlock& b) { b.setDuplicationChance(5); }, 39},
    {"duplication burst 65535",
     [](DriverPlayBlock& b) {
         b.setDuplicationChance(99), b.setDuplicationMinBurst(65535);
         b.setDuplicationMaxBurst(65535);
     },
     40},
    {"duplication span wrapped",
     [](DriverPlayBlock& b) {
         b.setDuplicationChance(99), b.setDuplicationMinBurst(20), b.setDuplicationMaxBurst(19);
     },
     41},
    {"fragmentation 100", [](DriverPlayBlock& b) { b.setFragmentationChance(100); }, 42},
    {"fragment size 63",
     [](DriverPlayBlock& b) { b.setFragmentationChance(5), b.setMaxTransmitionUnit(63); }, 43},
    {"fragment order 4",
     [](DriverPlayBlock& b) {
         b.setFragmentationChance(5), b.setMaxTransmitionUnit(576), b.setFragmentationOrder(4);
     },
     44},
    {"bit error 99", [](DriverPlayBlock& b) { b.setBitErrorChance(99); }, 45},
    {"bit error 65535", [](DriverPlayBlock& b) { b.setBitErrorChance(65535); }, 45},
    {"bit error burst 501",
     [](DriverPlayBlock& b) { b.setBitErrorChance(100), b.setBitErrorMaxBurst(501); }, 47},
    {"bit error reversed",
     [](DriverPlayBlock& b) {
         b.setBitErrorChance(100), b.setBitErrorMinBurst(2), b.setBitErrorMaxBurst(1);
     },
     48},
    {"disconnect 2", [](DriverPlayBlock& b) { b.setDisconnectTimeChance(2); }, 49},
    {"disconnect min 9",
     [](DriverPlayBlock& b) { b.setDisconnectTimeChance(3), b.setDisconnectMinTime(9); }, 50},
    {"disconnect max 30001",
     [](DriverPlayBlock& b) {
         b.setDisconnectTimeChance(3), b.setDisconnectMinTime(10), b.setDisconnectMaxTime(30001);
     },
     51},
    {"disconnect reversed",
     [](DriverPlayBlock& b) {
         b.setDisconnectTimeChance(3), b.setDisconnectMinTime(20), b.setDisconnectMaxTime(19);
     },
     52},
    {"congestion 65535", [](DriverPlayBlock& b) { b.setCongestionTimeChance(65535); }, 53},
    {"congestion min 9",
     [](DriverPlayBlock& b) { b.setCongestionTimeChance(1), b.setCongestionMinDuration(9); }, 54},
    {"congestion reversed",
     [](DriverPlayBlock& b) {
         b.setCongestionTimeChance(1), b.setCongestionMinDuration(20);
         b.setCongestionMaxDuration(19);
     },
     56},
    {"congestion delay 8001",
     [](DriverPlayBlock& b) {
         b.setCongestionTimeChance(1), b.setCongestionMinDuration(10);
         b.setCongestionMaxDuration(10), b.setConstantDelay(8001);
     },
     58},
    {"congestion error 9001",
     [](DriverPlayBlock& b) {
         b.setCongestionTimeChance(1), b.setCongestionMinDuration(10);
         b.setCongestionMaxDuration(10), b.setPeakRandomError(9001);
     },
     60},
    {"filter count 2^31", [](DriverPlayBlock& b) { b.setFilterCount(0x80000000u); }, 61},
    {"filter count 12", [](DriverPlayBlock& b) { b.setFilterCount(12); }, 62},
    {"filter address zero", [](DriverPlayBlock& b) { b.setFilterCount(1); }, 63},
    {"filter range",
     [](DriverPlayBlock& b) {
         b.setFilterCount(1), b.setFilterEntry(0, {1, 0xFFFFFFFE, 0, 0});
     },
     63},
    {"excluding the adapter",
     [](DriverPlayBlock& b) {
         b.setAdapterAddress(0xC6120001);
         b.setFilterCount(1), b.setFilterEntry(0, {0xC6120001, 0xC6120001, 0, 0});
     },
     63},
    {"filter mode 2", [](DriverPlayBlock& b) { b.setFilterMode(2); }, 64},
    {"include nothing", [](DriverPlayBlock& b) { b.setFilterMode(1); }, 65},
    {"recorded delay without samples", [](DriverPlayBlock& b) { b.setDelayType(4); }, 66},
    {"recorded loss without samples", [](DriverPlayBlock& b) { b.setLossType(5); }, 66},
};

// Faults of the tail: a block of 3 samples, recorded in time.
const Fault kTailFaults[] = {
    {"interval 99", [](DriverPlayBlock& b) { b.setSampleInterval(99); }, 66},
    {"interval 2001", [](DriverPlayBlock& b) { b.setSampleInterval(2001); }, 67},
    {"delay sample 8001", [](DriverPlayBlock& b) { b.setDelaySample(1, 8001); }, 5},
    {"delay sample -1", [](DriverPlayBlock& b) { b.setDelaySample(2, -1); }, 5},
    {"loss sample 94.01 %", [](DriverPlayBlock& b) { b.setLossSample(0, 9401); }, 13},
    {"loss sample -1", [](DriverPlayBlock& b) { b.setLossSample(0, -1); }, 13},
};

} // namespace

TEST(PlayBlockCheck, EveryBlockTheLibraryBuildsPasses) {
    for (const Good& g : kGood) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(check_play_block_fields(library_block(g.change)), 0);
    }
}

TEST(PlayBlockCheck, EveryFieldTheLibraryRefusesIsRefusedWithItsCode) {
    std::set<int> covered;
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.name);
        DriverPlayBlock b = library_block([](PlayParameters&) {});
        f.change(b);
        EXPECT_EQ(check_play_block_fields(b), f.code);
        covered.insert(f.code);
    }
    for (const Fault& f : kTailFaults) {
        SCOPED_TRACE(f.name);
        DriverPlayBlock b = library_block([](PlayParameters& p) {
            p.latencyType = 3, p.lossType = 4, p.sampleCount = 3, p.sampleInterval = 100;
            p.delaySamples = kDelays, p.lossSamples = kLosses;
        });
        ASSERT_EQ(check_play_block_fields(b), 0);
        f.change(b);
        EXPECT_EQ(check_play_block_fields(b), f.code);
        covered.insert(f.code);
    }
    // More samples than the interval allows: 901 at 1,000 ms.
    DriverPlayBlock many(901);
    DriverPlayBlock base = library_block([](PlayParameters&) {});
    std::copy(base.data(), base.data() + quellin::wire::pb::kFixedSize, many.data());
    many.setSampleCount(901);
    many.setSampleInterval(1000);
    EXPECT_EQ(check_play_block_fields(many), 69);
    covered.insert(69);

    // Every code of the library's checks but those of fields no block carries: the
    // percentages (32, 33) and missing samples (70).
    const std::set<int> all = {3,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                               18, 19, 20, 21, 22, 23, 25, 27, 28, 29, 30, 34, 36, 37,
                               38, 39, 40, 41, 42, 43, 44, 45, 47, 48, 49, 50, 51, 52,
                               53, 54, 56, 58, 60, 61, 62, 63, 64, 65, 66, 67, 69};
    EXPECT_EQ(covered, all);
}

TEST(PlayBlockCheck, LossHalfOfTheTailIsNotReadUnlessTheLossIsRecorded) {
    DriverPlayBlock b = library_block([](PlayParameters& p) {
        p.lossType = 2, p.randomLoss = 1, p.sampleCount = 3, p.sampleInterval = 100;
        p.delaySamples = kDelays;
    });
    b.setLossSample(1, -1); // undefined content
    EXPECT_EQ(check_play_block_fields(b), 0);
    b.setLossType(4);
    EXPECT_EQ(check_play_block_fields(b), 13);
}
