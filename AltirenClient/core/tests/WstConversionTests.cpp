#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/WstScenario.h"
#include "ScenarioChecks.h"
#include "WstWriter.h"

#include <arpa/inet.h>
#include <cmath>
#include <gtest/gtest.h>

using scenario_test::OwnedParams;
using scenario_test::RealChecks;

namespace {

// Through the file, so that what is converted is what the reader gives.
CWSTScenario ThroughFile(const CWSTScenario& s, uint32_t header) {
    CWSTScenario r;
    EXPECT_TRUE(r.ReadWSTbytes(wst_test::WriteWst(s, header))) << r.LastError();
    return r;
}

// Every record a conversion gives runs through the control library's checks, which must
// give `checks` (0: the record plays).
int Convert(const CWSTScenario& s, OwnedParams& out, int checks = 0) {
    const int rc = CScenarioConverter::ConvertWSTToNuvexPlayParams(s, out.get());
    if (rc == 1) {
        const int got = RealChecks(*out);
        EXPECT_EQ(got, checks) << NuvexResultText(got);
    }
    return rc;
}

} // namespace

TEST(WstConversion, DefaultRecordingGivesTheLibraryDefaults) {
    OwnedParams p;
    ASSERT_EQ(Convert(ThroughFile(CWSTScenario(), wst_test::kSettingsFile), p), 1);
    EXPECT_EQ(p->latencyType, 0);
    EXPECT_EQ(p->maxDelayDiff, 65535);
    EXPECT_EQ(p->lossType, 0);
    EXPECT_EQ(p->eastInBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p->westOutBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p->eastBucketMode, 1);
    EXPECT_EQ(p->eastBucketSize, 65535);
    EXPECT_EQ(p->outOfOrderChance, NUVEX_GROUP_OFF);
    EXPECT_EQ(p->congestionChance, NUVEX_GROUP_OFF);
    EXPECT_EQ(p->sampleCount, 0);
}

TEST(WstConversion, SettingsKindsAndUnits) {
    CWSTScenario s;
    s.m_latency.kindCode = wst::kLatencyUniform;
    s.m_latency.uniformMin = 20;
    s.m_latency.uniformMax = 60;
    s.m_latency.uniformChangeLimit = 5;
    s.m_latency.changeLimitSwitch = 1;
    s.m_loss.kindCode = wst::kLossRandom;
    s.m_loss.random = 250; // hundredths
    s.m_bandwidth[0].symmetricSwitch = 1;
    s.m_bandwidth[0].symmetric = 2048.0;
    s.m_bandwidth[0].bucketSwitch = 1;
    s.m_bandwidth[0].bucketSize = 64;
    s.m_bandwidth[0].redSwitch = 1;
    s.m_bandwidth[0].redMin = 16;
    s.m_bandwidth[0].redMax = 48;
    s.m_bandwidth[0].overheadSwitch = 1;
    s.m_bandwidth[0].overhead = 8;
    s.m_bandwidth[1].symmetricSwitch = 0;
    s.m_bandwidth[1].incoming = 512.0;
    s.m_bandwidth[1].outgoing = 128.0;
    s.m_bandwidth[1].packetModeSwitch = 0;
    s.m_bandwidth[1].redSwitch = 1; // without the bucket switch: no RED
    s.m_effectsA.outOfOrder = {1, 10, 1, 4};
    s.m_effectsA.fragmentation = {1, 20, 576, 2};
    s.m_effectsB.bitErrorOn = 1;
    s.m_effectsB.bitErrorMinBurst = 1;
    s.m_effectsB.bitErrorMaxBurst = 8;
    s.m_effectsB.bitErrorChance = 1000000;
    s.m_effectsB.disconnectOn = 1;
    s.m_effectsC.on = 1;
    s.m_effectsC.peakErrorHundredths = 3099; // 30.99 % cut to 30
    s.m_settingsCount = 1;
    s.m_settings.filterMode = 1;
    s.m_settings.filterCount = 2;
    s.m_settings.entries[0].firstAddress = 0xC6130014; // 198.19.0.20
    s.m_settings.entries[1].firstAddress = 0xC612000A;

    OwnedParams p;
    ASSERT_EQ(Convert(ThroughFile(s, wst_test::kSettingsFile), p), 1);
    EXPECT_EQ(p->latencyType, 2);
    EXPECT_EQ(p->minDelay, 20);
    EXPECT_EQ(p->maxDelay, 60);
    EXPECT_EQ(p->maxDelayDiff, 5);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_DOUBLE_EQ(p->randomLoss, 2.5);
    EXPECT_EQ(p->eastInBandwidth, 2048.0);
    EXPECT_EQ(p->eastOutBandwidth, 2048.0);
    EXPECT_EQ(p->eastBucketSize, 64);
    EXPECT_EQ(p->eastBucketMode, 1);
    EXPECT_EQ(p->eastRedMinThreshold, 16u);
    EXPECT_EQ(p->eastRedMaxThreshold, 48u);
    EXPECT_EQ(p->eastOverhead, 8);
    EXPECT_EQ(p->westInBandwidth, 512.0);
    EXPECT_EQ(p->westOutBandwidth, 128.0);
    EXPECT_EQ(p->westBucketMode, 0);
    EXPECT_EQ(p->westBucketSize, 65535);
    EXPECT_EQ(p->westRedMinThreshold, 0u);
    EXPECT_EQ(p->outOfOrderChance, 10);
    EXPECT_EQ(p->outOfOrderMaxRange, 4);
    EXPECT_EQ(p->duplicationChance, NUVEX_GROUP_OFF);
    EXPECT_EQ(p->fragmentSize, 576);
    EXPECT_EQ(p->fragmentOrder, 2);
    EXPECT_EQ(p->bitErrorChance, 1000000u);
    EXPECT_EQ(p->disconnectChance, 20);
    EXPECT_EQ(p->disconnectMinTime, 1000);
    EXPECT_EQ(p->congestionChance, 20);
    EXPECT_EQ(p->congestionPeakError, 30.0);
    EXPECT_EQ(p->congestionMinDuration, 100);
    EXPECT_EQ(p->filterMode, 1u);
    EXPECT_EQ(p->filterCount, 2u);
    EXPECT_EQ(p->filterAddresses[0], inet_addr("198.19.0.20"));
}

TEST(WstConversion, OtherLatencyAndLossKindsPassTheChecks) {
    struct Case {
        uint16_t latency, loss;
        uint16_t latencyType;
        int16_t lossType;
    };
    for (Case c : {Case{wst::kLatencyNormal, wst::kLossBurst, 1, 3},
                   Case{wst::kLatencyLinear, wst::kLossGilbert, 4, 5},
                   Case{wst::kLatencyFixed, wst::kLossPeriodic, 0, 1}}) {
        CWSTScenario s;
        s.m_latency = {40, 5, 30, 0, 0, 1, c.latency, 0, 0, 10, 90, 30, 0};
        s.m_loss = {4, 0, 150, 1, 3, 50, 2000, 2000, 500, c.loss};
        OwnedParams p;
        ASSERT_EQ(Convert(ThroughFile(s, wst_test::kSettingsFile), p), 1);
        EXPECT_EQ(p->latencyType, c.latencyType);
        EXPECT_EQ(p->lossType, c.lossType) << c.latency << "/" << c.loss;
        if (c.lossType == 5) {
            EXPECT_DOUBLE_EQ(p->gilbertGoodLoss, 0.5);
            EXPECT_DOUBLE_EQ(p->gilbertToBad, 5.0);
            EXPECT_EQ(p->timeSpan, 30);
        }
        if (c.lossType == 3) {
            EXPECT_DOUBLE_EQ(p->burstChance, 1.5);
        }
        if (c.lossType == 1) {
            EXPECT_EQ(p->lossPeriod, 4);
        }
    }
}

TEST(WstConversion, RecordedSamplesAreScaledAndPassTheChecks) {
    CWSTScenario s = wst_test::RecordedScenario(6, 100, true, 250);
    s.m_head.latencyScale = 200;
    s.m_head.lossScale = 300;
    s.m_head.kindSetting = 0;
    s.m_delaySamples[1] = -5;
    OwnedParams p;
    ASSERT_EQ(Convert(ThroughFile(s, wst_test::kRecordedFile), p), 1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->lossType, 4);
    EXPECT_EQ(p->recordedKind, 2);
    EXPECT_EQ(p->sampleCount, 6);
    EXPECT_EQ(p->sampleInterval, 100);
    ASSERT_NE(p->delaySamples, nullptr);
    EXPECT_EQ(p->delaySamples[0], 200u);
    EXPECT_EQ(p->delaySamples[1], 0u) << "a negative sample gives 0";
    EXPECT_EQ(p->delaySamples[5], 210u);
    ASSERT_NE(p->lossSamples, nullptr);
    EXPECT_EQ(p->lossSamples[0], 7u); // 3 × 2.5, cut

    // A scale that takes a delay beyond 32 bits keeps the largest value, never a wrapped
    // small one, and the checks refuse it.
    CWSTScenario huge = wst_test::RecordedScenario(2, 30000, false);
    huge.m_loss.kindCode = wst::kLossNone;
    huge.m_head.latencyScale = 0xFFFFFFFFu;
    OwnedParams h;
    ASSERT_EQ(Convert(huge, h, NUVEX_RC_MAX_DELAY), 1);
    EXPECT_EQ(h->delaySamples[0], 0xFFFFFFFFu);

    // The loss cap at 10,000.
    CWSTScenario big = wst_test::RecordedScenario(2, 10, true, 65535);
    big.m_head.lossScale = 10000;
    OwnedParams q;
    ASSERT_EQ(Convert(big, q, NUVEX_RC_LOSS_SAMPLE), 1);
    EXPECT_EQ(q->lossSamples[0], 10000u);
}

// The estimate is made in hundredths of a percent; the record's random loss is percent.
TEST(WstConversion, RecordedLossEstimateFromLostProbes) {
    CWSTScenario s = wst_test::RecordedScenario(100, 10, false);
    s.m_recorded.lostCount = 19; // 1 − sqrt(81/100) = 0.1
    OwnedParams p;
    ASSERT_EQ(Convert(ThroughFile(s, wst_test::kRecordedFile), p), 1);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_NEAR(p->randomLoss, 10.0, 1e-9);
    s.m_recorded.lostCount = 1; // 1 − sqrt(99/100)
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_NEAR(p->randomLoss, 0.5013, 1e-4);
    s.m_recorded.lostCount = 2;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_NEAR(p->randomLoss, 1.0051, 1e-4);
    // Everything lost: 100 %, which the checks refuse.
    s.m_recorded.lostCount = 100;
    ASSERT_EQ(Convert(s, p, NUVEX_RC_RANDOM_LOSS), 1);
    EXPECT_DOUBLE_EQ(p->randomLoss, 100.0);

    // Nothing lost, or less than the smallest chance the driver plays (0.01 %): no loss.
    s.m_recorded.lostCount = 0;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_EQ(p->lossType, 0);
    CWSTScenario many = wst_test::RecordedScenario(9000, 10, false);
    many.m_delaySamples.assign(9000, 10);
    many.m_recorded.lostCount = 1; // 0.0056 %
    ASSERT_EQ(Convert(many, p), 1);
    EXPECT_EQ(p->lossType, 0);

    // More lost than sent, or nothing sent, cannot be estimated: the conversion fails
    // instead of producing NaN.
    s.m_recorded.lostCount = 101;
    EXPECT_EQ(Convert(s, p), 0);
    CWSTScenario none;
    none.m_head.mode = 0;
    none.m_loss.kindCode = wst::kLossRecorded;
    EXPECT_EQ(Convert(none, p), 0);

    // A scale other than -1 and 99: the loss scale (percent) times the recording scale
    // (percent), so hundredths of a percent again, capped at 10,000.
    s.m_head.recordingScale = 2.0f;
    s.m_head.lossScale = 150;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_NEAR(p->randomLoss, 3.0, 1e-5);
    s.m_head.recordingScale = 500.0f;
    ASSERT_EQ(Convert(s, p, NUVEX_RC_RANDOM_LOSS), 1);
    EXPECT_DOUBLE_EQ(p->randomLoss, 100.0);
    s.m_head.recordingScale = -2.0f; // no loss can be below nothing
    EXPECT_EQ(Convert(s, p), 0);
}

// A recorded file reads its loss values from the trailer's words, whole values and the
// period one less, by the kind of the loss block.
TEST(WstConversion, RecordedModeLossWords) {
    CWSTScenario s = wst_test::RecordedScenario(4, 10, false);
    s.m_trailer.recordedLoss = {5, 3, 2, 1, 3, 1, 40, 30, 2, 0};
    s.m_loss = {90, 9000, 9000, 7, 9, 9000, 9000, 9000, 9000, 0}; // settings words: unused
    const uint32_t header = wst_test::kRecordedFile | wst::kHasLossBlock;
    OwnedParams p;
    s.m_loss.kindCode = wst::kLossPeriodic;
    ASSERT_EQ(Convert(ThroughFile(s, header), p), 1);
    EXPECT_EQ(p->lossType, 1);
    EXPECT_EQ(p->lossPeriod, 4);
    s.m_loss.kindCode = wst::kLossRandom;
    ASSERT_EQ(Convert(ThroughFile(s, header), p), 1);
    EXPECT_EQ(p->lossType, 2);
    EXPECT_DOUBLE_EQ(p->randomLoss, 3.0);
    s.m_loss.kindCode = wst::kLossBurst;
    ASSERT_EQ(Convert(ThroughFile(s, header), p), 1);
    EXPECT_EQ(p->lossType, 3);
    EXPECT_DOUBLE_EQ(p->burstChance, 2.0);
    EXPECT_EQ(p->burstMin, 1);
    EXPECT_EQ(p->burstMax, 3);
    s.m_loss.kindCode = wst::kLossGilbert;
    ASSERT_EQ(Convert(ThroughFile(s, header), p), 1);
    EXPECT_EQ(p->lossType, 5);
    EXPECT_DOUBLE_EQ(p->gilbertGoodLoss, 1.0);
    EXPECT_DOUBLE_EQ(p->gilbertBadLoss, 40.0);
    EXPECT_DOUBLE_EQ(p->gilbertToGood, 30.0);
    EXPECT_DOUBLE_EQ(p->gilbertToBad, 2.0);
    s.m_loss.kindCode = wst::kLossNone;
    ASSERT_EQ(Convert(ThroughFile(s, header), p), 1);
    EXPECT_EQ(p->lossType, 0);
    // A period of 0 stays 0 instead of wrapping, and the checks refuse it.
    s.m_trailer.recordedLoss.period = 0;
    s.m_loss.kindCode = wst::kLossPeriodic;
    ASSERT_EQ(Convert(ThroughFile(s, header), p, NUVEX_RC_LOSS_PERIOD), 1);
    EXPECT_EQ(p->lossPeriod, 0);
}

TEST(WstConversion, RecordedTypeWithoutSamplesIsRefusedByTheChecks) {
    CWSTScenario s;
    s.m_head.recordingScale = wst::kScaleWithLossSamples;
    OwnedParams p;
    ASSERT_EQ(Convert(ThroughFile(s, wst::kVersion | wst::kHasRecordedData), p,
                      NUVEX_RC_SAMPLE_INTERVAL_BELOW),
              1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->sampleCount, 0);
    EXPECT_STREQ(NuvexResultText(RealChecks(*p)), "Invalid Imported Parameters settings");
}

TEST(WstConversion, ValuesTheRecordCannotHoldFailTheConversion) {
    OwnedParams p;
    CWSTScenario longRun = wst_test::RecordedScenario(451, 1, false);
    longRun.m_recorded.intervalMs = 2000; // 451 × 2 s > 900 s
    EXPECT_EQ(Convert(longRun, p), 0);
    longRun.m_delaySamples.resize(450);
    EXPECT_EQ(Convert(longRun, p), 1);

    CWSTScenario wideInterval = wst_test::RecordedScenario(2, 1, false);
    wideInterval.m_recorded.intervalMs = 70000;
    EXPECT_EQ(Convert(wideInterval, p), 0);

    CWSTScenario filters;
    filters.m_settings.filterCount = 12;
    EXPECT_EQ(Convert(filters, p), 0);

    CWSTScenario bucket;
    bucket.m_bandwidth[1].bucketSwitch = 1;
    bucket.m_bandwidth[1].bucketSize = 70000;
    EXPECT_EQ(Convert(bucket, p), 0);

    EXPECT_EQ(CScenarioConverter::ConvertWSTToNuvexPlayParams(bucket, nullptr), 0);
}

TEST(WstConversion, UnlimitedAndNaNBandwidthsKeepTheDefault) {
    CWSTScenario s;
    s.m_bandwidth[0].symmetricSwitch = 0;
    s.m_bandwidth[0].incoming = 429496729.5;
    s.m_bandwidth[0].outgoing = std::nan("");
    OwnedParams p;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_EQ(p->eastInBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p->eastOutBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
}

// Files written byte by byte at the offsets of the file format, not through the layout
// tables the reader decodes with: an offset error in those tables fails here.
namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& file, const Bytes& block) {
    file.insert(file.end(), block.begin(), block.end());
}

// A zeroed block of `size` bytes with the given bytes at their offsets.
Bytes Block(size_t size, std::initializer_list<std::pair<size_t, Bytes>> at) {
    Bytes b(size, 0);
    for (const auto& [offset, bytes] : at)
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(offset));
    return b;
}

} // namespace

TEST(WstFile, HandWrittenSettingsFile) {
    Bytes file = {0x0A, 0x00, 0x8F, 0x0F,  // version 10; bits 16-19 and 23-27
                  0x00, 0x00, 0x20, 0x40}; // recording scale 2.5
    // Loss block: burst 2.50 % (250), 2 to 7 packets, kind 1054.
    Append(file, Block(20, {{4, {0xFA, 0x00, 0x02, 0x00, 0x07, 0x00}}, {18, {0x1E, 0x04}}}));
    // Latency group: uniform 20 to 60 ms, change limit 5 switched on, kind 1067.
    Append(file, Block(28, {{6, {0x14, 0x00, 0x3C, 0x00, 0x05, 0x00, 0x2B, 0x04}},
                            {16, {0x01, 0x00, 0x00, 0x00}}}));
    // First bandwidth group: 2048 kbit/s both ways, bucket 64 KB counting packets, RED 16
    // to 48, overhead 8; then the two 16-bit values 33 and 44.
    Append(file, Block(64, {{0, {0, 0, 0, 0, 0, 0, 0xA0, 0x40}},
                            {24, {0x40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0, 0x30, 0, 0,
                                  0,    1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,    8, 0, 0, 0}}}));
    Append(file, {0x21, 0x00, 0x2C, 0x00});
    // Second bandwidth group: 512 in, 128 out, no bucket, byte mode.
    Append(file,
           Block(64, {{8, {0, 0, 0, 0, 0, 0, 0x80, 0x40}}, {16, {0, 0, 0, 0, 0, 0, 0x60, 0x40}}}));
    Append(file, {0x04, 'W', 'A', 'N', '1'});     // the name, no recorded data
    Append(file, Block(76, {{0, {0x09, 0x00}}})); // trailer: recorded-mode period 9
    // Effects group A: out of order 10 %, 1 to 4; fragmentation 20 %, 576 bytes, order 2.
    Append(file, Block(36, {{0, {1, 0, 0, 0, 0x0A, 0x00, 0x01, 0x00, 0x04, 0x00}},
                            {24, {1, 0, 0, 0, 0x14, 0x00, 0x40, 0x02, 0x02, 0x00}}}));
    // Effects group B: bit errors 1 to 8 bits, one in 1,000,000; disconnects every 20 s
    // for 100 to 500 ms.
    Append(file,
           Block(32, {{0, {1, 0, 0, 0}},
                      {8, {0x01, 0x00, 0x08, 0x00, 1, 0, 0, 0, 0x14, 0x00, 0x64, 0x00, 0xF4, 0x01}},
                      {24, {0x40, 0x42, 0x0F, 0, 0, 0, 0, 0}}}));
    // Effects group C: congestion every 30 s, switched on, 300 ms, 200 to 2000 ms, 30.99 %.
    Append(file, Block(24, {{0, {0x1E, 0, 0, 0, 1,    0,    0, 0, 0x2C, 0x01, 0, 0,
                                 0xC8, 0, 0, 0, 0x1B, 0x0C, 0, 0, 0xD0, 0x07, 0, 0}}}));
    Append(file, {0x4D, 0, 0, 0}); // final setting 77
    Append(file, {0x01, 0, 0, 0}); // settings count
    // Settings block: include 198.19.0.20 and 198.18.0.10.
    Append(file, Block(3088, {{0, {1, 0, 0, 0, 2, 0, 0, 0}},
                              {8, {0x14, 0x00, 0x13, 0xC6}},
                              {20, {0x0A, 0x00, 0x12, 0xC6}}}));
    ASSERT_EQ(file.size(), 3457u);

    CWSTScenario s;
    ASSERT_TRUE(s.ReadWSTbytes(file)) << s.LastError();
    EXPECT_EQ(s.m_head.mode, 1);
    EXPECT_FLOAT_EQ(s.m_head.recordingScale, 2.5f);
    EXPECT_EQ(s.m_head.valueA, 33);
    EXPECT_EQ(s.m_head.valueB, 44);
    EXPECT_EQ(s.m_strName, "WAN1");
    EXPECT_EQ(s.m_trailer.recordedLoss.period, 9);
    EXPECT_EQ(s.m_head.finalSetting, 77u);
    EXPECT_EQ(s.m_settingsCount, 1u);

    OwnedParams p;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_EQ(p->latencyType, 2);
    EXPECT_EQ(p->minDelay, 20);
    EXPECT_EQ(p->maxDelay, 60);
    EXPECT_EQ(p->maxDelayDiff, 5);
    EXPECT_EQ(p->lossType, 3);
    EXPECT_DOUBLE_EQ(p->burstChance, 2.5);
    EXPECT_EQ(p->burstMin, 2);
    EXPECT_EQ(p->burstMax, 7);
    EXPECT_EQ(p->eastInBandwidth, 2048.0);
    EXPECT_EQ(p->eastOutBandwidth, 2048.0);
    EXPECT_EQ(p->eastBucketSize, 64);
    EXPECT_EQ(p->eastBucketMode, 1);
    EXPECT_EQ(p->eastRedMinThreshold, 16u);
    EXPECT_EQ(p->eastRedMaxThreshold, 48u);
    EXPECT_EQ(p->eastOverhead, 8);
    EXPECT_EQ(p->westInBandwidth, 512.0);
    EXPECT_EQ(p->westOutBandwidth, 128.0);
    EXPECT_EQ(p->westBucketSize, 65535);
    EXPECT_EQ(p->westBucketMode, 0);
    EXPECT_EQ(p->outOfOrderChance, 10);
    EXPECT_EQ(p->outOfOrderMinRange, 1);
    EXPECT_EQ(p->outOfOrderMaxRange, 4);
    EXPECT_EQ(p->duplicationChance, NUVEX_GROUP_OFF);
    EXPECT_EQ(p->fragmentationChance, 20);
    EXPECT_EQ(p->fragmentSize, 576);
    EXPECT_EQ(p->fragmentOrder, 2);
    EXPECT_EQ(p->bitErrorChance, 1000000u);
    EXPECT_EQ(p->bitErrorMinBurst, 1);
    EXPECT_EQ(p->bitErrorMaxBurst, 8);
    EXPECT_EQ(p->disconnectChance, 20);
    EXPECT_EQ(p->disconnectMinTime, 100);
    EXPECT_EQ(p->disconnectMaxTime, 500);
    EXPECT_EQ(p->congestionChance, 30);
    EXPECT_EQ(p->congestionConstantDelay, 300);
    EXPECT_EQ(p->congestionMinDuration, 200);
    EXPECT_EQ(p->congestionMaxDuration, 2000);
    EXPECT_EQ(p->congestionPeakError, 30.0);
    EXPECT_EQ(p->filterMode, 1u);
    EXPECT_EQ(p->filterCount, 2u);
    EXPECT_EQ(p->filterAddresses[0], inet_addr("198.19.0.20"));
    EXPECT_EQ(p->filterAddresses[1], inet_addr("198.18.0.10"));
}

TEST(WstFile, HandWrittenRecordedFile) {
    Bytes file = {0x6E, 0x00, 0x30, 0x02,  // version 110; bits 20, 21 and 25
                  0x00, 0x00, 0xC6, 0x42}; // recording scale 99: a loss series follows
    // Recorded data: every 200 ms, 210-byte probes, 3 samples, none lost, to 198.19.0.20.
    Append(file, Block(178, {{0, {0xC8, 0, 0, 0, 0xD2, 0, 0, 0, 0x03, 0, 0, 0, 0x00, 0x00}},
                             {14, {'1', '9', '8', '.', '1', '9', '.', '0', '.', '2', '0'}}}));
    Append(file, {0,    0, 0, 0, 0,    0, 0, 0,               // two counts
                  0x96, 0, 0, 0, 0xC8, 0, 0, 0,               // latency scale 150, loss scale 200
                  0,    0, 0, 0, 0,    0, 0, 0, 0, 0, 0, 0}); // at random; further parameters
    Append(file, {0x64, 0x00, 0xFF, 0xFF, 0x2C, 0x01});       // delays 100, -1, 300 ms
    Append(file, {0x96, 0x00, 0x00, 0x00, 0xFA, 0x00});       // losses 1.50, 0, 2.50 %
    Append(file, Bytes(76, 0));                               // trailer
    Append(file, {0, 0, 0, 0});                               // no settings block
    ASSERT_EQ(file.size(), 306u);

    CWSTScenario s;
    ASSERT_TRUE(s.ReadWSTbytes(file)) << s.LastError();
    EXPECT_EQ(s.m_head.mode, 0);
    EXPECT_EQ(s.m_loss.kindCode, wst::kLossRecorded);
    EXPECT_EQ(s.m_recorded.packetLength, 210u);
    EXPECT_EQ(std::string(s.m_recorded.destination.data()), "198.19.0.20");
    EXPECT_EQ(s.m_delaySamples, (std::vector<int16_t>{100, -1, 300}));
    EXPECT_EQ(s.m_lossSamples, (std::vector<uint16_t>{150, 0, 250}));

    OwnedParams p;
    ASSERT_EQ(Convert(s, p), 1);
    EXPECT_EQ(p->latencyType, 3);
    EXPECT_EQ(p->recordedKind, 2);
    EXPECT_EQ(p->sampleCount, 3);
    EXPECT_EQ(p->sampleInterval, 200);
    // The latency scale as a whole number (150 % is 1), a gap as 0.
    EXPECT_EQ(std::vector<uint32_t>(p->delaySamples, p->delaySamples + 3),
              (std::vector<uint32_t>{100, 0, 300}));
    EXPECT_EQ(p->lossType, 4);
    EXPECT_EQ(std::vector<uint32_t>(p->lossSamples, p->lossSamples + 3),
              (std::vector<uint32_t>{3, 0, 5}));
}
