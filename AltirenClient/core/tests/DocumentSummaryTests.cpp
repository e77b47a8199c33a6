#include "AltirenClient/PlayParams.h"
#include "AltirenClient/ScenarioConversion.h"
#include "AltirenClient/ScenarioSummary.h"
#include "ScenarioXml.h"

#include <NuvexTopovelValidator/STopovelValidator.h>

#include <gtest/gtest.h>

using namespace scenario_test;

namespace {

using Lines = std::vector<std::string>;

std::vector<SummarySection> Summary(const std::string& xml) {
    return CScenarioSummary::FromDocument(xml, DtdDir());
}

} // namespace

TEST(DocumentSummary, RecordedScenario) {
    const auto s = Summary(ClientDoc("recorded_scenario.xml"));
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].header, "Nuvex data:");
    EXPECT_EQ(s[0].lines, (Lines{"Latency (Imported - Multiply by 50%): 45/111/301.",
                                 "Packet Loss (Imported - Multiply by 200%): 3.12% "}));
    EXPECT_EQ(s[1].header, "\n\nClient Gateway:");
    EXPECT_EQ(s[1].lines,
              (Lines{"Gateway Uplink: 2048 Kbps", "Gateway Downlink: 2048 Kbps",
                     "Gateway Bucket: 32 KB", "Bucket Mode: packet", "Bucket Policy: RED",
                     "RED Min. Threshold: 8", "RED Max. Threshold: 24"}));
    EXPECT_EQ(s[3].header, "\n\nFilter:");
    EXPECT_EQ(s[3].lines, (Lines{"Filter type: Include", "IP address:", "198.19.0.20"}));
}

TEST(DocumentSummary, EffectsAndGatewaysAfterValidation) {
    std::string xml = ClientDoc("scenario_effects.xml");
    CSTopovelValidator v;
    ASSERT_EQ(v.ValidateTopovel(xml, DtdDir().c_str()), 0u);
    const auto s = Summary(xml);
    EXPECT_EQ(
        s[0].lines,
        (Lines{"Latency: Range 20-60. Chg. limit 10.", "Packet Loss: 1.50%, lose 2-4.9.",
               "Bit Errors: Freq. 1000000, burst 1-8.", "Out Of Order: 10%, offset 1-4.",
               "Duplicates: 5%, burst 1-3.", "Fragments: 20%, MTU 576 (ICMP Error).",
               "Disconnect: Every 60 sec., 100-500 ms.", "Congestion: Every 30 sec., 200-2000 ms.",
               "Congestion Properties: 12.7% loss, 300 latency."}));
    // The client gateway's uplink is its NIC 0 (here towards the WAN); "0.0" is unrestricted.
    EXPECT_EQ(s[1].lines,
              (Lines{"Gateway Uplink: 2048 Kbps", "Gateway Downlink: Unrestricted Kbps",
                     "Gateway Bucket: 32 KB", "Bucket Mode: byte", "Add 4 bytes to each packets",
                     "Bucket Policy: RED", "RED Min. Threshold: 8", "RED Max. Threshold: 24"}));
    EXPECT_EQ(s[2].lines[0], "Gateway Uplink: 10000 Kbps");
    EXPECT_EQ(s[2].lines[1], "Gateway Downlink: 512 Kbps");
    EXPECT_EQ(s[3].lines,
              (Lines{"Filter type: Include", "IP addresses:", "198.19.0.20", "198.19.0.21"}));
}

// The gateway lines say what plays: the conversion takes a gateway's uplink bandwidth,
// overhead and queue from its NIC 0, whatever the NIC is named.
TEST(DocumentSummary, GatewaysAreDescribedAsTheyPlay) {
    const std::string xml = FendrelDoc("basic_topology_normal.xml");
    const auto s = Summary(xml);
    // NIC 0 of the client gateway is its LAN side: 100,000 kbit/s, drop-tail, no overhead.
    EXPECT_EQ(s[1].lines,
              (Lines{"Gateway Uplink: 100000 Kbps", "Gateway Downlink: 2048 Kbps",
                     "Gateway Bucket: 64 KB", "Bucket Mode: byte", "Bucket Policy: DT"}));
    CPlayParams p;
    ASSERT_EQ(CScenarioConverter::ConvertTopovelToNuvexPlayParams(xml, p.get(), DtdDir()), 1);
    EXPECT_EQ(p->eastOutBandwidth, 100000.0);
    EXPECT_EQ(p->eastInBandwidth, 2048.0);
    EXPECT_EQ(p->eastBucketSize, 64);
    EXPECT_EQ(p->eastOverhead, 0);
    EXPECT_EQ(p->eastRedMaxThreshold, 0u);
    EXPECT_EQ(s[2].lines[0], "Gateway Uplink: 100000 Kbps");
    EXPECT_EQ(p->westInBandwidth, 100000.0);
}

TEST(DocumentSummary, GatewayWithoutQueueAndExcludeFilter) {
    const auto s = Summary(ClientDoc("congestion_first.xml"));
    EXPECT_EQ(s[0].lines,
              (Lines{"Latency: Avg. 100 ms, sd 15.", "Packet Loss: Gilbert-Elliot model.",
                     "Congestion: Every 10 sec., 100-900 ms.",
                     "Congestion Properties: 5% loss, 250 latency."}));
    EXPECT_EQ(s[1].lines[4], "Bucket Policy: DT");
    EXPECT_EQ(s[2].lines, (Lines{"Gateway Uplink: 1024 Kbps", "Gateway Downlink: 256 Kbps",
                                 "Gateway Bucket: Unlimited", "Bucket Mode: Packets"}));
    EXPECT_EQ(s[3].lines, (Lines{"Filter type: Exclude", "IP addresses:", "198.19.0.30",
                                 "198.19.0.31", "198.19.0.32"}));
}

TEST(DocumentSummary, OneIncludeAndThreeExcludes) {
    const std::string server =
        "<ENDPOINT ID=\"ID_SERVER\" NAME=\"SERVER\"><INCLUDE_IPS><IP_RANGE FROM_IP=\"198.19.0.1\" "
        "TO_IP=\"198.19.0.1\" PROTOCOL=\"0\" PORT=\"0\"/></INCLUDE_IPS><EXCLUDE_IPS>"
        "<IP_RANGE FROM_IP=\"198.19.0.2\" TO_IP=\"198.19.0.2\" PROTOCOL=\"0\" PORT=\"0\"/>"
        "<IP_RANGE FROM_IP=\"198.19.0.3\" TO_IP=\"198.19.0.3\" PROTOCOL=\"0\" PORT=\"0\"/>"
        "<IP_RANGE FROM_IP=\"198.19.0.4\" TO_IP=\"198.19.0.4\" PROTOCOL=\"0\" PORT=\"0\"/>"
        "</EXCLUDE_IPS></ENDPOINT>";
    const auto s = Summary(WanDoc("<FIXED_LATENCY LATENCY=\"5\"/>", server));
    EXPECT_EQ(s[0].lines, (Lines{"Latency: Fixed 5 ms.", "Packet Loss: None."}));
    EXPECT_EQ(s[3].lines, (Lines{"Filter type: Include", "IP addresses:", "198.19.0.1"}));
}

TEST(DocumentSummary, MissingPartsLeaveHeadersOnly) {
    const std::string noObjects = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
                                  "<TOPOVEL ID=\"E\" NAME=\"E\"><NET_OBJECTS/></TOPOVEL>\n";
    for (const std::string& xml : {noObjects, FendrelDoc("malformed.xml"), std::string()}) {
        const auto s = Summary(xml);
        ASSERT_EQ(s.size(), 4u);
        for (const auto& section : s)
            EXPECT_TRUE(section.lines.empty()) << section.header;
    }
    // A recorded latency whose data block has no samples: no division by zero.
    const auto r =
        Summary(WanDoc("<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"RANDOM\" "
                       "SCALE_FACTOR=\"100\"/><RECORDED_LOSS SCALE_FACTOR=\"100\"/>",
                       "", DataBlock("")));
    EXPECT_EQ(r[0].lines, (Lines{"Latency (Imported): 0/0/0.", "Packet Loss (Imported): 0.00% "}));
}
