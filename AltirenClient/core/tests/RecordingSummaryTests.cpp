#include "AltirenClient/ScenarioSummary.h"
#include "AltirenClient/WstScenario.h"
#include "WstWriter.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

} // namespace

TEST(RecordingSummary, SettingsRecordingLines) {
    CWSTScenario s;
    s.m_latency.kindCode = wst::kLatencyUniform;
    s.m_latency.uniformMin = 20;
    s.m_latency.uniformMax = 60;
    s.m_loss.kindCode = wst::kLossBurst;
    s.m_loss.burstChance = 250;
    s.m_loss.burstMin = 2;
    s.m_loss.burstMax = 5;
    s.m_effectsA.fragmentation = {1, 20, 576, 2};
    s.m_effectsC.on = 1;
    s.m_bandwidth[0].symmetricSwitch = 0;
    s.m_bandwidth[0].outgoing = 256.0;
    s.m_bandwidth[0].bucketSwitch = 1;
    s.m_bandwidth[0].bucketSize = 64;
    s.m_bandwidth[0].redSwitch = 1;
    s.m_bandwidth[0].redMin = 16;
    s.m_bandwidth[0].redMax = 48;
    s.m_settings.filterMode = 1;
    s.m_settings.filterCount = 2;
    s.m_settings.entries[0].firstAddress = 0xC6130014;
    s.m_settings.entries[1].firstAddress = 0xC6130015;

    const auto sections = CScenarioSummary::FromRecording(s);
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].lines, (Lines{"Latency: Range 20-60.", "Packet Loss: 2.50%, lose 2-5.",
                                        "Fragments: 20%, MTU 576 (ICMP Error).",
                                        "Congestion: Every 20 sec., 100-1000 ms.",
                                        "Congestion Properties: 30% loss, 1000 latency."}));
    EXPECT_EQ(sections[1].lines,
              (Lines{"Gateway Uplink: 256.0 Kbps", "Gateway Downlink: Unrestricted Kbps",
                     "Gateway Bucket: 64 KB", "Bucket Mode: Packets", "Bucket Policy: RED",
                     "RED Min. Threshold: 16", "RED Max. Threshold: 48"}));
    EXPECT_EQ(sections[2].lines,
              (Lines{"Gateway Uplink: Unrestricted Kbps", "Gateway Downlink: Unrestricted Kbps",
                     "Gateway Bucket: Unlimited", "Bucket Mode: Packets"}));
    EXPECT_EQ(sections[3].lines,
              (Lines{"Filter type: Include", "IP addresses:", "198.19.0.20", "198.19.0.21"}));
}

// Uplink is the direction from the station: East out at the client gateway, West in at
// the server gateway, as the two sides play.
TEST(RecordingSummary, GatewayUplinkIsTheStationsOutboundDirection) {
    CWSTScenario s;
    for (auto& side : s.m_bandwidth) {
        side.symmetricSwitch = 0;
        side.incoming = 512.0;
        side.outgoing = 128.0;
    }
    const auto sections = CScenarioSummary::FromRecording(s);
    EXPECT_EQ(sections[1].lines[0], "Gateway Uplink: 128.0 Kbps");
    EXPECT_EQ(sections[1].lines[1], "Gateway Downlink: 512.0 Kbps");
    EXPECT_EQ(sections[2].lines[0], "Gateway Uplink: 512.0 Kbps");
    EXPECT_EQ(sections[2].lines[1], "Gateway Downlink: 128.0 Kbps");
}

TEST(RecordingSummary, EstimatedLossInPercent) {
    CWSTScenario s = wst_test::RecordedScenario(100, 10, false);
    s.m_recorded.lostCount = 1;
    const auto lines = CScenarioSummary::FromRecording(s)[0].lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Packet Loss: 0.50%");
}

TEST(RecordingSummary, RecordedSeriesStatistics) {
    CWSTScenario s = wst_test::RecordedScenario(4, 0, true, 200);
    s.m_delaySamples = {0, 30, -1, 90};
    s.m_lossSamples = {200, 0, 400, 0}; // hundredths: average 1.5 %
    s.m_head.latencyScale = 200;
    const auto lines = CScenarioSummary::FromRecording(s)[0].lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Latency (Imported - Multiply by 200%): 30/30/90.");
    EXPECT_EQ(lines[1], "Packet Loss (Imported Average): 1.50%.");
}

TEST(RecordingSummary, RecordedTypeWithoutSamplesDoesNotDivideByZero) {
    CWSTScenario s;
    s.m_head.mode = 0;
    s.m_head.recordingScale = wst::kScaleWithLossSamples;
    s.m_loss.kindCode = wst::kLossRecorded;
    const auto lines = CScenarioSummary::FromRecording(s)[0].lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Latency (Imported): 0/0/0.");
    EXPECT_EQ(lines[1], "Packet Loss (Imported Average): 0.00%.");
}

TEST(ScenarioSummaryRender, HeadersAreStyledAndLinesFollowOnTheirOwnLine) {
    const auto runs = CScenarioSummary::Render(CScenarioSummary::Empty());
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs[0].text, "Nuvex data:");
    EXPECT_TRUE(runs[0].bold);
    EXPECT_TRUE(runs[0].underline);
    EXPECT_EQ(runs[0].colorBgr, 0xFF0000u);
    EXPECT_EQ(runs[1].text, "\nLatency:");
    EXPECT_FALSE(runs[1].bold);
    EXPECT_EQ(CScenarioSummary::PlainText(CScenarioSummary::Empty()),
              "Nuvex data:\nLatency:\nPacket Loss:\n\nClient Gateway:\nGateway Uplink:\nGateway "
              "Downlink:\nGateway Bucket:\nBucket Mode:\n\nServer Gateway:\nGateway "
              "Uplink:\nGateway Downlink:\nGateway Bucket:\nBucket Mode:\n\nFilter:\nFilter:");
}
