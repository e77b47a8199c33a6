#include "AltirenClient/SmoothGraph.h"
#include "AltirenClient/WstScenario.h"
#include "WstWriter.h"

#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using wst_test::WriteWst;

namespace {

CWSTScenario ReadBack(const std::vector<uint8_t>& bytes) {
    CWSTScenario r;
    EXPECT_TRUE(r.ReadWSTbytes(bytes)) << r.LastError();
    return r;
}

std::vector<int> Smooth(std::vector<int> v) {
    SmoothGraphArray(static_cast<unsigned>(v.size()), v.data());
    return v;
}

} // namespace

TEST(WstScenario, SettingsFileReadsBackEveryGroup) {
    CWSTScenario s;
    s.m_head.recordingScale = 2.5f;
    s.m_head.valueA = 33;
    s.m_head.valueB = 44;
    s.m_loss.kindCode = wst::kLossBurst;
    s.m_loss.burstChance = 250;
    s.m_loss.burstMin = 2;
    s.m_loss.burstMax = 7;
    s.m_latency.kindCode = wst::kLatencyUniform;
    s.m_latency.uniformMin = 20;
    s.m_latency.uniformMax = 60;
    s.m_latency.changeLimitSwitch = 1;
    s.m_bandwidth[0].symmetric = 2048.0;
    s.m_bandwidth[1].outgoing = 512.5;
    s.m_bandwidth[1].overhead = 12;
    s.m_trailer.recordedLoss.period = 9;
    s.m_effectsA.duplication = {1, 5, 1, 3};
    s.m_effectsB.bitErrorChance = 123456789012ull;
    s.m_effectsC.peakErrorHundredths = 4321;
    s.m_head.finalSetting = 77;
    s.m_settingsCount = 1;
    s.m_settings.filterMode = 1;
    s.m_settings.filterCount = 2;
    s.m_settings.entries[1].firstAddress = 0xC6120001;

    CWSTScenario r = ReadBack(WriteWst(s, wst_test::kSettingsFile));
    EXPECT_EQ(r.m_head.mode, 1);
    EXPECT_FLOAT_EQ(r.m_head.recordingScale, 2.5f);
    EXPECT_EQ(r.m_head.valueA, 33);
    EXPECT_EQ(r.m_head.valueB, 44);
    EXPECT_EQ(r.m_loss.kindCode, wst::kLossBurst);
    EXPECT_EQ(r.m_loss.burstChance, 250);
    EXPECT_EQ(r.m_loss.burstMax, 7);
    EXPECT_EQ(r.m_latency.kindCode, wst::kLatencyUniform);
    EXPECT_EQ(r.m_latency.uniformMax, 60);
    EXPECT_EQ(r.m_latency.changeLimitSwitch, 1u);
    EXPECT_EQ(r.m_bandwidth[0].symmetric, 2048.0);
    EXPECT_EQ(r.m_bandwidth[1].outgoing, 512.5);
    EXPECT_EQ(r.m_bandwidth[1].overhead, 12u);
    EXPECT_EQ(r.m_trailer.recordedLoss.period, 9);
    EXPECT_EQ(r.m_effectsA.duplication.on, 1u);
    EXPECT_EQ(r.m_effectsA.duplication.c, 3);
    EXPECT_EQ(r.m_effectsB.bitErrorChance, 123456789012ull);
    EXPECT_EQ(r.m_effectsC.peakErrorHundredths, 4321u);
    EXPECT_EQ(r.m_head.finalSetting, 77u);
    EXPECT_EQ(r.m_settingsCount, 1u);
    EXPECT_EQ(r.m_settings.filterCount, 2u);
    EXPECT_EQ(r.m_settings.entries[1].firstAddress, 0xC6120001u);
    EXPECT_TRUE(r.m_delaySamples.empty());
}

TEST(WstScenario, RecordedFileReadsSamplesAndDefaultsTheLossKind) {
    CWSTScenario s = wst_test::RecordedScenario(5, 40, true, 300);
    s.m_head.latencyScale = 150;
    s.m_head.kindSetting = 0;
    s.m_delaySamples[2] = -1;
    CWSTScenario r = ReadBack(WriteWst(s, wst_test::kRecordedFile));
    EXPECT_EQ(r.m_head.mode, 0);
    EXPECT_EQ(r.m_loss.kindCode, wst::kLossRecorded);
    EXPECT_EQ(r.m_head.latencyScale, 150u);
    EXPECT_EQ(r.m_head.kindSetting, 0u);
    ASSERT_EQ(r.m_delaySamples.size(), 5u);
    EXPECT_EQ(r.m_delaySamples[2], -1);
    EXPECT_EQ(r.m_delaySamples[4], 44);
    ASSERT_EQ(r.m_lossSamples.size(), 5u);
    EXPECT_EQ(r.m_lossSamples[0], 300);

    // Without the loss scale marker only the delay series is carried.
    CWSTScenario d =
        ReadBack(WriteWst(wst_test::RecordedScenario(3, 7, false), wst_test::kRecordedFile));
    EXPECT_EQ(d.m_delaySamples.size(), 3u);
    EXPECT_TRUE(d.m_lossSamples.empty());
}

TEST(WstScenario, NameIsReadWithoutRecordedData) {
    CWSTScenario s;
    s.m_strName = std::string(300, 'n');
    CWSTScenario r = ReadBack(WriteWst(s, wst::kVersionExtended | wst::kHasLatency));
    EXPECT_EQ(r.m_strName, s.m_strName);
    EXPECT_EQ(r.m_loss.kindCode, wst::kLossNone);
}

TEST(WstScenario, RefusesWrongVersionsAndStatisticsFiles) {
    CWSTScenario s;
    for (uint32_t header :
         {9u | wst::kHasLatency, 11u, 111u, wst::kVersion | wst::kHasStatistics}) {
        CWSTScenario r;
        r.m_head.valueA = 1;
        EXPECT_FALSE(r.ReadWSTbytes(WriteWst(s, header))) << header;
        EXPECT_EQ(r.m_head.valueA, 17) << "a refused file leaves the record defaulted";
    }
}

TEST(WstScenario, RefusesCountsTheFileOrRecordCannotHold) {
    // Sample count larger than the samples that follow.
    CWSTScenario s = wst_test::RecordedScenario(4, 10, true);
    s.m_recorded.sampleCount = 5;
    CWSTScenario r;
    EXPECT_FALSE(r.ReadWSTbytes(WriteWst(s, wst_test::kRecordedFile)));
    EXPECT_TRUE(r.m_delaySamples.empty());

    // A count far beyond the file must not allocate or read.
    s.m_recorded.sampleCount = 1000;
    EXPECT_FALSE(r.ReadWSTbytes(WriteWst(s, wst_test::kRecordedFile)));
    EXPECT_NE(r.LastError().find("size"), std::string::npos) << r.LastError();
    // Beyond the play record's 16-bit count.
    s.m_recorded.sampleCount = 0xFFFFFFF0u;
    EXPECT_FALSE(r.ReadWSTbytes(WriteWst(s, wst_test::kRecordedFile)));
    EXPECT_NE(r.LastError().find("limit"), std::string::npos) << r.LastError();

    // More filters than the play record's address array holds.
    CWSTScenario f;
    f.m_settingsCount = 3;
    f.m_settings.filterCount = 12;
    EXPECT_FALSE(r.ReadWSTbytes(WriteWst(f, wst_test::kSettingsFile)));
    f.m_settings.filterCount = 11;
    EXPECT_TRUE(r.ReadWSTbytes(WriteWst(f, wst_test::kSettingsFile)));
    // A settings count outside 1..255 carries no block and reads as 0.
    f.m_settingsCount = 256;
    EXPECT_TRUE(r.ReadWSTbytes(WriteWst(f, wst_test::kSettingsFile)));
    EXPECT_EQ(r.m_settingsCount, 0u);
}

TEST(WstScenario, EveryTruncationIsRefused) {
    CWSTScenario s = wst_test::RecordedScenario(3, 10, true);
    const uint32_t header = wst_test::kRecordedFile | wst::kHasLossBlock | wst::kHasEffectsA |
                            wst::kHasEffectsB | wst::kHasEffectsC | wst::kHasFinalSetting;
    std::vector<uint8_t> bytes = WriteWst(s, header);
    CWSTScenario r;
    ASSERT_TRUE(r.ReadWSTbytes(bytes));
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        EXPECT_FALSE(r.ReadWSTbytes(cut)) << n;
    }
}

TEST(WstScenario, DownloadedFileIsRemovedReadOrNot) {
    testsupport::TempDir dir("wst");
    const auto good = dir / "WSTTemp1";
    const auto bad = dir / "WSTTemp2";
    auto write = [](const std::filesystem::path& p, const std::vector<uint8_t>& b) {
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    write(good, WriteWst(CWSTScenario(), wst_test::kSettingsFile));
    write(bad, {1, 2, 3});
    CWSTScenario gaps = wst_test::RecordedScenario(4, 0, false);
    gaps.m_delaySamples = {10, -1, -1, 40};
    const auto withGaps = dir / "WSTTemp3";
    write(withGaps, WriteWst(gaps, wst_test::kRecordedFile));
    CWSTScenario r;
    ASSERT_TRUE(r.ReadDownloadedWST(withGaps.string()));
    EXPECT_EQ(r.m_delaySamples, (std::vector<int16_t>{10, 20, 30, 40})) << "gaps filled";
    EXPECT_FALSE(std::filesystem::exists(withGaps));
    EXPECT_TRUE(r.ReadDownloadedWST(good.string()));
    EXPECT_FALSE(r.ReadDownloadedWST(bad.string()));
    EXPECT_FALSE(std::filesystem::exists(good));
    EXPECT_FALSE(std::filesystem::exists(bad));
    EXPECT_FALSE(r.ReadWSTdata((dir / "missing").string()));
}

TEST(SmoothGraphArray, FillsGapsByTheRules) {
    EXPECT_EQ(SmoothGraphArray(0, nullptr), 0);
    EXPECT_EQ(Smooth({10, -1, -1, 40}), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(Smooth({-1, 7, -1}), (std::vector<int>{7, 7, 7}));
    EXPECT_EQ(Smooth({-1, -1, -1}), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Smooth({-1}), (std::vector<int>{0}));
    EXPECT_EQ(Smooth({5, -1, 5}), (std::vector<int>{5, 5, 5}));
    EXPECT_EQ(Smooth({100, -1, 0}), (std::vector<int>{100, 50, 0}));
    // Ends take the rounded average: (1 + 2) / 2 + 0.5 = 2.
    EXPECT_EQ(Smooth({-1, 1, 2, -1}), (std::vector<int>{2, 1, 2, 2}));
    // No gap: untouched, result 1.
    std::vector<int> v{3, 4};
    EXPECT_EQ(SmoothGraphArray(2, v.data()), 1);
    EXPECT_EQ(v, (std::vector<int>{3, 4}));
}

TEST(SmoothGraphArray, KeepsLowBitsOfWideOrNegativeValues) {
    // A negative valid value at an end's average (-3 + 0.5, truncated) wraps into 16 bits instead
    // of being an undefined conversion.
    EXPECT_EQ(Smooth({-1, -3, -1}), (std::vector<int>{65534, -3, 65534}));
    // Samples widened with their sign: 0x10005 keeps 5 where it is filled.
    EXPECT_EQ(Smooth({-1, 0x10005}), (std::vector<int>{5, 0x10005}));
    // Huge values stay finite and in range.
    std::vector<int> big = Smooth({2147483000, -1, 2147483000});
    EXPECT_GE(big[1], 0);
    EXPECT_LE(big[1], 65535);
}

TEST(WstScenario, ClearZeroesAndDefaultRestores) {
    CWSTScenario s = wst_test::RecordedScenario(3, 5, true);
    s.m_strName = "name";
    s.Clear();
    EXPECT_EQ(s.m_head.recordingScale, 0.0f);
    EXPECT_EQ(s.m_head.valueA, 0);
    EXPECT_EQ(s.m_latency.kindCode, 0);
    EXPECT_EQ(s.m_bandwidth[0].symmetric, 0.0);
    EXPECT_EQ(s.m_recorded.intervalMs, 0u);
    EXPECT_EQ(s.m_recorded.destination[0], '\0');
    EXPECT_EQ(s.m_effectsB.bitErrorChance, 0u);
    EXPECT_TRUE(s.m_strName.empty());
    EXPECT_TRUE(s.m_delaySamples.empty());
    EXPECT_TRUE(s.m_lossSamples.empty());
    s.Default();
    EXPECT_EQ(s.m_head.recordingScale, -1.0f);
    EXPECT_EQ(s.m_head.valueA, 17);
    EXPECT_EQ(s.m_head.valueB, 5);
    EXPECT_EQ(s.m_head.latencyScale, 100u);
    EXPECT_EQ(s.m_latency.kindCode, wst::kLatencyFixed);
    EXPECT_EQ(s.m_bandwidth[1].symmetric, 429496729.5);
    EXPECT_EQ(std::string(s.m_recorded.destination.data(), 15), "255.255.255.255");
    EXPECT_EQ(s.m_effectsA.fragmentation.b, 512);
    EXPECT_EQ(s.m_effectsC.peakErrorHundredths, 3000u);
}
