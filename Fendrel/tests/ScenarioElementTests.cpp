// Element parsers of the scenario document: WAN shadow, packet list and frame relay.
#include "Fendrel/SFrameRelayParser.h"
#include "Fendrel/SPacketListParser.h"
#include "Fendrel/SPortParser.h"
#include "Fendrel/SWanNuvexShadowParser.h"
#include "TestParsers.h"
#include "ValidationSupport.h"

#include <gtest/gtest.h>

using fendrel_test::Text;
using fendrel_test::ValidNetObject;
using fendrel_test::Xml;

namespace {

// Tag names of the root's element children, joined by ",".
std::string ChildTags(const std::string& xml) {
    orvane::xml::XmlDocument doc;
    if (!orvane::xml::ParseFromMemory(xml.c_str(), doc, false, nullptr, nullptr))
        return "<parse failed>";
    std::string tags;
    for (auto* n = doc->getDocumentElement()->getFirstChild(); n; n = n->getNextSibling())
        if (n->getNodeType() == xercesc::DOMNode::ELEMENT_NODE)
            tags += (tags.empty() ? "" : ",") +
                    orvane::xml::TagName(static_cast<xercesc::DOMElement*>(n));
    return tags;
}

} // namespace

// ---------------------------------------------------------------- WAN shadow

TEST(WanNuvexShadowParser, BuildsInOrderWritesAndReadsBack) {
    CSWanNuvexShadowParser built;
    ASSERT_EQ(built.CreateNew("SH_1", "Replay", "120", "600"), NX_SUCCESS);
    ASSERT_EQ(built.SetRecordedLoss("1.5"), NX_SUCCESS);
    ASSERT_EQ(built.SetHostID("198.18.0.7"), NX_SUCCESS);
    EXPECT_EQ(ChildTags(Xml(built)), "HOST_ID,RECORDED_LOSS");
    ASSERT_EQ(built.SetRecordedLatency("Block A", "LOOP", "2"), NX_SUCCESS);
    EXPECT_EQ(ChildTags(Xml(built)), "HOST_ID,RECORDED_LATENCY,RECORDED_LOSS");
    ASSERT_EQ(built.SetRecordingDetailes("Morning", "198.18.1.1", "512", "100"), NX_SUCCESS);
    ASSERT_EQ(built.SetHostID("host.example"), NX_SUCCESS);
    const std::string xml = Xml(built);
    EXPECT_EQ(ChildTags(xml), "HOST_ID,RECORDING_DETAILS,RECORDED_LATENCY,RECORDED_LOSS");
    EXPECT_TRUE(ValidNetObject(xml));

    CSWanNuvexShadowParser read("Topovel_1_2.dtd", "1.2");
    ASSERT_EQ(read.Parse(xml.c_str(), false), NX_SUCCESS);
    SHString a, b, c, d;
    ASSERT_EQ(read.GetHostID(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "host.example");
    ASSERT_EQ(read.GetRecordingDetailes(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b) + "|" + Text(c) + "|" + Text(d),
              "Morning|198.18.1.1|512|100");
    ASSERT_EQ(read.GetRecordedLatency(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b) + "|" + Text(c), "Block A|LOOP|2");
    ASSERT_EQ(read.GetRecordedLoss(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "1.5");
    ASSERT_EQ(read.GetRecordedStartTime(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "120");
    ASSERT_EQ(read.GetID(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "SH_1");
}

TEST(WanNuvexShadowParser, MissingDocumentElementsAndRemoval) {
    CSWanNuvexShadowParser p;
    SHString s("keep");
    EXPECT_EQ(p.SetHostID("x"), NX_FAILURE);
    EXPECT_EQ(p.GetHostID(s), NX_FAILURE);
    EXPECT_EQ(p.GetRecordedStartTime(s), NX_FAILURE);
    EXPECT_EQ(p.RemoveElement("HOST_ID"), NX_FAILURE);
    EXPECT_EQ(p.CreateNew("a", "b", "1", "2"), NX_SUCCESS);

    ASSERT_EQ(p.CreateNew("SH", "N"), NX_SUCCESS);
    EXPECT_EQ(p.GetRecordedLoss(s), NX_FAILURE);
    EXPECT_EQ(Text(s), "keep");
    ASSERT_EQ(p.GetRecordedStartTime(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "");
    EXPECT_EQ(p.RemoveElement("HOST_ID"), NX_FAILURE);
    EXPECT_EQ(p.RemoveElement(nullptr), NX_FAILURE);
    ASSERT_EQ(p.SetHostID("h"), NX_SUCCESS);
    ASSERT_EQ(p.SetRecordedLoss("1"), NX_SUCCESS);
    EXPECT_EQ(p.RemoveElement("HOST_ID"), NX_SUCCESS);
    EXPECT_EQ(p.GetHostID(s), NX_FAILURE);
    // The root itself is not a child of the root.
    EXPECT_EQ(p.RemoveElement("NUVEX_SHADOW"), NX_FAILURE);
    EXPECT_EQ(Xml(p), "<NUVEX_SHADOW ID=\"SH\" NAME=\"N\"><RECORDED_LOSS SCALE_FACTOR=\"1\"/>"
                      "</NUVEX_SHADOW>\n\n");
}

// ---------------------------------------------------------------- port

TEST(PortParser, BuildsPositionsAndRangesWritesAndReadsBack) {
    CSPortParser built("Topovel_1_2.dtd", "1.2");
    SHString card("keep"), port("keep");
    EXPECT_EQ(built.SetPortInfo("1", "2"), NX_FAILURE);
    EXPECT_EQ(built.GetPortInfo(card, port), NX_FAILURE);
    EXPECT_EQ(Text(card), "keep");
    ASSERT_EQ(built.CreateNew("PORT_1", "Card 1 port 2"), NX_SUCCESS);
    ASSERT_EQ(built.GetPortInfo(card, port), NX_SUCCESS);
    EXPECT_EQ(Text(card) + "|" + Text(port), "|");
    ASSERT_EQ(built.SetPortInfo("1", "1"), NX_SUCCESS);
    ASSERT_EQ(built.SetPortInfo("1", "2"), NX_SUCCESS);
    ASSERT_EQ(built.AddIncludeIPRange("198.18.0.1", "198.18.0.255", 6, 80), NX_SUCCESS);
    ASSERT_EQ(built.AddExcludeIPRange("198.18.0.7", "198.18.0.7", 0, 0), NX_SUCCESS);
    const std::string xml = Xml(built);
    EXPECT_TRUE(ValidNetObject(xml));

    CSPortParser read;
    ASSERT_EQ(read.Parse(xml.c_str(), false), NX_SUCCESS);
    ASSERT_EQ(read.GetPortInfo(card, port), NX_SUCCESS);
    EXPECT_EQ(Text(card) + "|" + Text(port), "1|2");
    unsigned count = 0;
    ASSERT_EQ(read.GetIncludeIPRangeCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
    SHString from, to;
    unsigned short protocol = 0, portNumber = 0;
    ASSERT_EQ(read.GetIncludeIPRange(0, from, to, protocol, portNumber), NX_SUCCESS);
    EXPECT_EQ(Text(from) + "|" + Text(to), "198.18.0.1|198.18.0.255");
    EXPECT_EQ(protocol, 6);
    EXPECT_EQ(portNumber, 80);
    // A copy shares the document.
    CSPortParser copy(read);
    ASSERT_EQ(copy.SetPortInfo("3", "4"), NX_SUCCESS);
    ASSERT_EQ(read.GetPortInfo(card, port), NX_SUCCESS);
    EXPECT_EQ(Text(card) + "|" + Text(port), "3|4");
}

// ---------------------------------------------------------------- packet list

TEST(PacketListParser, CreatesAnEmptyElement) {
    CSPacketListParser p("Topovel_1_2.dtd", "1.2");
    ASSERT_EQ(p.CreateNew("PL_1", "Capture"), NX_SUCCESS);
    const std::string xml = Xml(p);
    EXPECT_EQ(xml, "<PACKET_LIST ID=\"PL_1\" NAME=\"Capture\"/>\n\n");
    EXPECT_TRUE(ValidNetObject(xml));
    CSPacketListParser read;
    ASSERT_EQ(read.Parse(xml.c_str(), false), NX_SUCCESS);
    SHString s;
    ASSERT_EQ(read.GetName(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "Capture");
}

// ---------------------------------------------------------------- frame relay

TEST(FrameRelayParser, BuildsInOrderWritesAndReadsBack) {
    CSFrameRelayParser built;
    ASSERT_EQ(built.CreateNew("FR_1", "PVC"), NX_SUCCESS);
    SHString a("x"), b("x"), c, d, e, f;
    ASSERT_EQ(built.GetDeliveryRate(a, b), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b), "|");
    ASSERT_EQ(built.CreateNew("FR_1", "PVC", "64", "128"), NX_SUCCESS);
    ASSERT_EQ(built.SetFRADParam("10", "5", "32"), NX_SUCCESS);
    ASSERT_EQ(built.SetUniformLatency("20", "40", true, "3"), NX_SUCCESS);
    ASSERT_EQ(built.SetCongestion("60", false, "1", "5", "10", "90"), NX_SUCCESS);
    ASSERT_EQ(built.SetExcessDataLoss("2.5"), NX_SUCCESS);
    ASSERT_EQ(built.SetCommitedDataLoss("0.5"), NX_SUCCESS);
    ASSERT_EQ(built.SetCommitedDataLoss("0.7"), NX_SUCCESS);
    const std::string xml = Xml(built);
    EXPECT_EQ(ChildTags(xml),
              "UNIFORM_LATENCY,COMMITTED_DATA_LOSS,EXCESS_DATA_LOSS,FR_CONGESTION,FRAD_PARAMETERS");
    EXPECT_NE(xml.find("<COMMITTED_DATA_LOSS><RANDOM_LOSS CHANCE=\"0.5\"/>"
                       "<RANDOM_LOSS CHANCE=\"0.7\"/></COMMITTED_DATA_LOSS>"),
              std::string::npos)
        << xml;
    EXPECT_TRUE(ValidNetObject(xml));

    CSFrameRelayParser read("Topovel_1_2.dtd", "1.2");
    ASSERT_EQ(read.Parse(xml.c_str(), true), NX_SUCCESS);
    ASSERT_EQ(read.GetDeliveryRate(a, b), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b), "64|128");
    ASSERT_EQ(read.GetUniformLatency(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b) + "|" + Text(c) + "|" + Text(d), "20|40|yes|3");
    ASSERT_EQ(read.GetCommitedDataLoss(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "0.5");
    ASSERT_EQ(read.GetExcessDataLoss(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "2.5");
    ASSERT_EQ(read.GetCongestion(a, b, c, d, e, f), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b) + "|" + Text(c) + "|" + Text(d) + "|" + Text(e) + "|" +
                  Text(f),
              "60|RANDOM|1|5|10|90");
    ASSERT_EQ(read.GetFRADParam(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Text(a) + "|" + Text(b) + "|" + Text(c), "10|5|32");
    ASSERT_EQ(read.SetUniformLatency("1", "2", false, "0"), NX_SUCCESS);
    ASSERT_EQ(read.SetCongestion("6", true, "1", "2", "3", "4"), NX_SUCCESS);
    ASSERT_EQ(read.GetUniformLatency(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Text(c), "no");
    ASSERT_EQ(read.GetCongestion(a, b, c, d, e, f), NX_SUCCESS);
    EXPECT_EQ(Text(b), "PERIODIC");
}

TEST(FrameRelayParser, MissingDocumentElementsAndRemoval) {
    CSFrameRelayParser p;
    SHString a("keep"), b, c, d, e, f;
    EXPECT_EQ(p.SetDeliveryRate("1", "2"), NX_FAILURE);
    EXPECT_EQ(p.SetCommitedDataLoss("1"), NX_FAILURE);
    EXPECT_EQ(p.GetFRADParam(a, b, c), NX_FAILURE);
    EXPECT_EQ(p.RemoveEelement("FR_CONGESTION"), NX_FAILURE);
    // A failed CreateNew(id, name) sets nothing further.
    ASSERT_EQ(p.CreateNew("FR", "N"), NX_SUCCESS);
    EXPECT_EQ(p.GetCommitedDataLoss(a), NX_FAILURE);
    EXPECT_EQ(Text(a), "keep");
    ASSERT_EQ(p.Parse("<FRAME_RELAY_PVC><COMMITTED_DATA_LOSS/></FRAME_RELAY_PVC>", false),
              NX_SUCCESS);
    EXPECT_EQ(p.GetCommitedDataLoss(a), NX_FAILURE);
    ASSERT_EQ(p.SetCongestion("1", true, "2", "3", "4", "5"), NX_SUCCESS);
    ASSERT_EQ(p.SetCommitedDataLoss("9"), NX_SUCCESS);
    EXPECT_EQ(p.RemoveEelement("FR_CONGESTION"), NX_SUCCESS);
    EXPECT_EQ(p.GetCongestion(a, b, c, d, e, f), NX_FAILURE);
    EXPECT_EQ(p.RemoveEelement("FR_CONGESTION"), NX_SUCCESS);
    EXPECT_EQ(p.RemoveEelement(nullptr), NX_SUCCESS);
    // RANDOM_LOSS stands below COMMITTED_DATA_LOSS, not below the root.
    EXPECT_EQ(p.RemoveEelement("RANDOM_LOSS"), NX_FAILURE);
    ASSERT_EQ(p.GetCommitedDataLoss(a), NX_SUCCESS);
    EXPECT_EQ(Text(a), "9");
    EXPECT_EQ(p.RemoveEelement("COMMITTED_DATA_LOSS"), NX_SUCCESS);
    EXPECT_EQ(Xml(p), "<FRAME_RELAY_PVC/>\n\n");
}
