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
