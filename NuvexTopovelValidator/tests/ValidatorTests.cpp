#include "NuvexTopovelValidator/STopovelValidator.h"
#include "ScenarioXml.h"

#include <Fendrel/SEndPointParser.h>
#include <Fendrel/SGatewayParser.h>
#include <Fendrel/STopovelDocumentParser.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

using namespace scenario_test;

namespace {

const ::testing::Environment* const g_xml = ::testing::AddGlobalTestEnvironment(new XmlEnvironment);

unsigned Validate(std::string& xml) {
    CSTopovelValidator v;
    return v.ValidateTopovel(xml, DtdDir().c_str());
}

unsigned ValidateText(std::string xml) {
    return Validate(xml);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

std::string Str(SHString& s) {
    const char* p = s.GetString();
    return p ? p : "";
}

struct Link {
    std::string from, to;
    bool operator==(const Link&) const = default;
};

std::vector<Link> Links(const std::string& xml) {
    CSTopovelDocParser doc;
    EXPECT_EQ(doc.Parse(xml.c_str(), false), NX_SUCCESS);
    unsigned n = 0;
    doc.GetLinksCount(n);
    std::vector<Link> links;
    for (unsigned i = 0; i < n; ++i) {
        SHString a, b;
        bool uni = true;
        doc.GetLinkNetObjects(i, a, b, uni);
        links.push_back({Str(a), Str(b)});
    }
    return links;
}

const std::vector<Link> kNormalLinks = {{"ID_CLIENT", "ID_CLIENT_GW_NIC_2"},
                                        {"ID_CLIENT_GW_NIC_1", "ID_WAN_NUVEX"},
                                        {"ID_WAN_NUVEX", "ID_SERVER_GW_NIC_2"},
                                        {"ID_SERVER_GW_NIC_1", "ID_SERVER"}};

// A document with the two end points linked straight to the WAN section.
std::string TwoEndpoints(const std::string& wanChildren = "<FIXED_LATENCY LATENCY=\"5\"/>",
                         const std::string& recording = "") {
    return "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n<TOPOVEL ID=\"T\" "
           "NAME=\"T\"><NET_OBJECTS>"
           "<ENDPOINT ID=\"A\" NAME=\"Client\"/><WAN_NUVEX ID=\"W\" NAME=\"W\">" +
           wanChildren +
           "</WAN_NUVEX><ENDPOINT ID=\"B\" NAME=\"server\"/></NET_OBJECTS><LINKS>"
           "<LINK FROM_OBJECT=\"A\" TO_OBJECT=\"W\" UNIDIRECTIONAL=\"false\"/>"
           "<LINK FROM_OBJECT=\"W\" TO_OBJECT=\"B\" UNIDIRECTIONAL=\"false\"/></LINKS>" +
           recording + "</TOPOVEL>\n";
}

std::string RecordedWan(const std::string& latencyScale, const std::string& lossScale) {
    return "<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"SEQUENTIAL\" SCALE_FACTOR=\"" +
           latencyScale + "\"/><RECORDED_LOSS SCALE_FACTOR=\"" + lossScale + "\"/>";
}

} // namespace

TEST(Validator, BasicTopologyBecomesItsNormalForm) {
    std::string xml = FendrelDoc("basic_topology.xml");
    ASSERT_EQ(Validate(xml), 0u);
    EXPECT_EQ(xml, FendrelDoc("basic_topology_normal.xml"));
    // The normal form is a fixed point.
    std::string again = xml;
    ASSERT_EQ(Validate(again), 0u);
    EXPECT_EQ(again, xml);
}

// NIC ids that are already normal-form names, but each on the other NIC: every NIC is
// renamed once, to the name its link gives it.
TEST(Validator, NormalNamesOnTheWrongNicsAreSwapped) {
    std::string xml = FendrelDoc("basic_topology.xml");
    for (auto [from, to] : {std::pair{"GW_A_NIC_LAN", "ID_CLIENT_GW_NIC_1"},
                            std::pair{"GW_A_NIC_WAN", "ID_CLIENT_GW_NIC_2"},
                            std::pair{"GW_B_NIC_LAN", "ID_SERVER_GW_NIC_2"},
                            std::pair{"GW_B_NIC_WAN", "ID_SERVER_GW_NIC_1"}})
        for (size_t at = xml.find(from); at != std::string::npos; at = xml.find(from, at))
            xml.replace(at, std::strlen(from), to);
    ASSERT_EQ(Validate(xml), 0u);
    // The client stays linked to the client gateway's LAN side.
    EXPECT_EQ(xml, FendrelDoc("basic_topology_normal.xml"));
}

// Ids that cannot be read: 1009.
TEST(Validator, UnreadableGatewayOrNicIdGives1009) {
    const std::string basic = FendrelDoc("basic_topology.xml");
    EXPECT_EQ(ValidateText(Replace(basic, "<GATEWAY ID=\"GW_B\" ", "<GATEWAY ")),
              TOPOVEL_RENAME_FAILURE);
    EXPECT_EQ(ValidateText(Replace(basic, "ID=\"GW_B_NIC_WAN\" ", "")), TOPOVEL_RENAME_FAILURE);
}

TEST(Validator, UncommonSpellingIsNormalised) {
    std::string xml = ClientDoc("scenario_effects.xml");
    ASSERT_EQ(Validate(xml), 0u);
    EXPECT_EQ(Links(xml), kNormalLinks);
    CSTopovelDocParser doc;
    ASSERT_EQ(doc.Parse(xml.c_str(), false), NX_SUCCESS);
    SHString text;
    // Names are matched without regard to case: "server" and "Client".
    ASSERT_EQ(doc.GetNetObjectXML("ID_SERVER", text), NX_SUCCESS);
    ASSERT_EQ(doc.GetNetObjectXML("ID_CLIENT", text), NX_SUCCESS);
    ASSERT_EQ(doc.GetNetObjectXML("ID_WAN_NUVEX", text), NX_SUCCESS);
    // The NIC linked to the client end point is NIC 2 of the client gateway; the one
    // linked to the server end point is NIC 1 of the server gateway.
    ASSERT_EQ(doc.GetNetObjectXML("ID_CLIENT_GW", text), NX_SUCCESS);
    CSGatewayParser client;
    ASSERT_EQ(client.Parse(Str(text).c_str(), false), NX_SUCCESS);
    SHString nic0, nic1;
    client.GetNicID(0, nic0);
    client.GetNicID(1, nic1);
    EXPECT_EQ(Str(nic0), "ID_CLIENT_GW_NIC_1"); // was G1_WAN
    EXPECT_EQ(Str(nic1), "ID_CLIENT_GW_NIC_2"); // was G1_LAN
    ASSERT_EQ(doc.GetNetObjectXML("ID_SERVER_GW", text), NX_SUCCESS);
    CSGatewayParser server;
    ASSERT_EQ(server.Parse(Str(text).c_str(), false), NX_SUCCESS);
    server.GetNicID(0, nic0);
    EXPECT_EQ(Str(nic0), "ID_SERVER_GW_NIC_1"); // was G2_LAN
}

TEST(Validator, DocumentWithoutGatewaysStillGetsTheFourLinks) {
    std::string xml = TwoEndpoints();
    ASSERT_EQ(Validate(xml), 0u);
    EXPECT_EQ(Links(xml), kNormalLinks);
    std::string ge = ClientDoc("gilbert_elliott.xml");
    EXPECT_EQ(Validate(ge), 0u);
}

TEST(Validator, ParseFailuresAndUnsupportedShapes) {
    EXPECT_EQ(ValidateText(FendrelDoc("malformed.xml")), TOPOVEL_PARSE_FAILURE);
    EXPECT_EQ(ValidateText(FendrelDoc("invalid.xml")), TOPOVEL_PARSE_FAILURE);
    EXPECT_EQ(ValidateText(""), TOPOVEL_PARSE_FAILURE);
    const std::string basic = FendrelDoc("basic_topology.xml");
    for (const char* shape : {"<PACKET_LIST ID=\"PL\" NAME=\"L\"/>", "<PORT ID=\"P\" NAME=\"P\"/>",
                              "<DS_GATEWAY ID=\"D\" NAME=\"D\"/>"})
        EXPECT_EQ(
            ValidateText(Replace(basic, "</NET_OBJECTS>", std::string(shape) + "</NET_OBJECTS>")),
            TOPOVEL_UNSUPPORTED_SHAPE)
            << shape;
    // The caller's text stays as it was on failure.
    std::string xml = Replace(basic, "</NET_OBJECTS>", "<PACKET_LIST ID=\"PL\"/></NET_OBJECTS>");
    const std::string before = xml;
    Validate(xml);
    EXPECT_EQ(xml, before);
}

TEST(Validator, EndpointRules) {
    const std::string basic = FendrelDoc("basic_topology.xml");
    // A third end point is skipped during renaming, but the count fails.
    EXPECT_EQ(ValidateText(Replace(basic, "</NET_OBJECTS>",
                                   "<ENDPOINT ID=\"EP3\" NAME=\"OTHER\"/></NET_OBJECTS>")),
              TOPOVEL_ENDPOINT_COUNT);
    // One end point only.
    std::string one = basic;
    const size_t from = one.find("<ENDPOINT ID=\"EP_CLIENT\"");
    one.erase(from, one.find("</ENDPOINT>", from) + 11 - from);
    EXPECT_EQ(ValidateText(one), TOPOVEL_ENDPOINT_COUNT);
    // A CLIENT end point that no link names.
    EXPECT_EQ(ValidateText(Replace(basic, "<ENDPOINT ID=\"EP_CLIENT\"", "<ENDPOINT ID=\"EP_X\"")),
              TOPOVEL_PARSE_FAILURE);
    // Two end points, neither named SERVER.
    EXPECT_EQ(ValidateText(Replace(basic, "NAME=\"SERVER\"", "NAME=\"HOST\"")),
              TOPOVEL_ENDPOINT_MISSING);
}

TEST(Validator, GatewayRules) {
    const std::string basic = FendrelDoc("basic_topology.xml");
    // Linked to neither end point.
    std::string unlinked = Replace(basic, "TO_OBJECT=\"GW_A_NIC_LAN\"", "TO_OBJECT=\"W_OTHER\"");
    EXPECT_EQ(ValidateText(unlinked), TOPOVEL_PARSE_FAILURE);
    // Three NICs.
    EXPECT_EQ(ValidateText(Replace(basic, "</NICS></GATEWAY>",
                                   "<NIC ID=\"X\" BANDWIDTH=\"1\"/></NICS></GATEWAY>")),
              TOPOVEL_NIC_COUNT);
    // Queues on three of the four directions.
    EXPECT_EQ(ValidateText(Replace(basic,
                                   "<OUT_QUEUE Q_MEMORY_MODE=\"byte\" "
                                   "Q_MEMORY_SIZE=\"64\"><Q_POLICY_DROP_TAIL/></OUT_QUEUE>",
                                   "")),
              TOPOVEL_PARTIAL_QUEUES);
    // Different policies in the two directions of one NIC.
    EXPECT_EQ(
        ValidateText(Replace(basic,
                             "<IN_QUEUE Q_MEMORY_MODE=\"byte\" "
                             "Q_MEMORY_SIZE=\"64\"><Q_POLICY_DROP_TAIL/></IN_QUEUE>",
                             "<IN_QUEUE Q_MEMORY_MODE=\"byte\" Q_MEMORY_SIZE=\"64\"><Q_POLICY_RED "
                             "MAX_THRESHOLD=\"2\" MIN_THRESHOLD=\"1\"/></IN_QUEUE>")),
        TOPOVEL_QUEUE_POLICY_MISMATCH);
    // A queue without a policy.
    EXPECT_EQ(ValidateText(Replace(basic, "Q_MEMORY_SIZE=\"64\"><Q_POLICY_DROP_TAIL/></OUT_QUEUE>",
                                   "Q_MEMORY_SIZE=\"64\"></OUT_QUEUE>")),
              TOPOVEL_QUEUE_POLICY_UNREADABLE);
}

TEST(Validator, RecordedSampleLimits) {
    const auto doc = [](const std::string& latencyScale, const std::string& lossScale,
                        const std::string& samples) {
        return TwoEndpoints(RecordedWan(latencyScale, lossScale), DataBlock(samples));
    };
    EXPECT_EQ(ValidateText(doc("100", "100", "<LAT>8000</LAT><LOS>94.00</LOS>")), 0u);
    EXPECT_EQ(ValidateText(doc("100", "100", "<LAT>8001</LAT><LOS>94.00</LOS>")),
              TOPOVEL_SAMPLES_OUT_OF_RANGE);
    EXPECT_EQ(ValidateText(doc("100", "100", "<LAT>8000</LAT><LOS>94.50</LOS>")),
              TOPOVEL_SAMPLES_OUT_OF_RANGE);
    EXPECT_EQ(ValidateText(doc("200", "100", "<LAT>4001</LAT>")), TOPOVEL_SAMPLES_OUT_OF_RANGE);
    // Scaled in single precision as the conversion scales: 11430 × 0.7 is 8001.
    EXPECT_EQ(ValidateText(doc("70", "100", "<LAT>11430</LAT>")), TOPOVEL_SAMPLES_OUT_OF_RANGE);
    EXPECT_EQ(ValidateText(doc("70", "100", "<LAT>11428</LAT>")), 0u);
    // A scale factor that is not a number counts as 0 and lets every sample pass.
    EXPECT_EQ(ValidateText(doc("abc", "x", "<LAT>9000</LAT><LOS>99.00</LOS>")), 0u);
    // A huge sample times a large scale is refused without an undefined conversion.
    EXPECT_EQ(ValidateText(doc("65535", "100", "<LAT>2147483647</LAT>")),
              TOPOVEL_SAMPLES_OUT_OF_RANGE);
    // A recorded latency naming no data block of the document.
    EXPECT_EQ(ValidateText(TwoEndpoints(RecordedWan("100", "100"))), TOPOVEL_SAMPLES_OUT_OF_RANGE);
    std::string recorded = ClientDoc("recorded_scenario.xml");
    EXPECT_EQ(Validate(recorded), 0u);
}

TEST(Validator, RangeChecksDirectly) {
    CSTopovelValidator v;
    const int latency[] = {10, 8000, INT_MAX};
    EXPECT_TRUE(v.AreLatencyValuesValid(latency, 2, 1.0f, 8000));
    EXPECT_FALSE(v.AreLatencyValuesValid(latency, 3, 1.0f, 8000));
    EXPECT_FALSE(v.AreLatencyValuesValid(latency + 2, 1, 655.35f, 8000));
    EXPECT_TRUE(v.AreLatencyValuesValid(nullptr, 0, 1.0f, 8000));
    // Truncation toward zero: 8000.9 is 8000.
    const int nearly[] = {80009};
    EXPECT_TRUE(v.AreLatencyValuesValid(nearly, 1, 0.1f, 8000));
    const float loss[] = {94.0f, std::nanf(""), 94.5f};
    EXPECT_TRUE(v.ArePacketLossValuesValid(loss, 1, 1.0f, 94.0f));
    EXPECT_FALSE(v.ArePacketLossValuesValid(loss, 2, 1.0f, 94.0f)) << "NaN is no loss value";
    EXPECT_FALSE(v.ArePacketLossValuesValid(loss + 2, 1, 1.0f, 94.0f));
}

TEST(Validator, ImportedDataInterval) {
    CSTopovelValidator v;
    const std::string dtd = DtdDir();
    const std::string ok =
        TwoEndpoints(RecordedWan("100", "100"), DataBlock("<LAT>1</LAT>", "100"));
    EXPECT_EQ(v.ValidateImportedData(ok.c_str(), 100, 1000, dtd.c_str()), 0u);
    EXPECT_EQ(v.ValidateImportedData(ok.c_str(), 200, 1000, dtd.c_str()),
              TOPOVEL_INTERVAL_OUT_OF_RANGE);
    EXPECT_EQ(v.ValidateImportedData(ok.c_str(), 10, 99, dtd.c_str()),
              TOPOVEL_INTERVAL_OUT_OF_RANGE);
    const std::string mismatch =
        Replace(ok, "SAMPLE_INTERVAL=\"100\"/>", "SAMPLE_INTERVAL=\"50\"/>");
    EXPECT_EQ(v.ValidateImportedData(mismatch.c_str(), 10, 1000, dtd.c_str()),
              TOPOVEL_PARSE_FAILURE);
    const std::string none = TwoEndpoints();
    EXPECT_EQ(v.ValidateImportedData(none.c_str(), 10, 1000, dtd.c_str()), TOPOVEL_PARSE_FAILURE);
    EXPECT_EQ(v.ValidateImportedData(nullptr, 10, 1000, dtd.c_str()), TOPOVEL_PARSE_FAILURE);
}

TEST(Validator, HelpersWithoutADocument) {
    CSTopovelValidator v;
    CSTopovelDocParser empty;
    CSGatewayParser gw;
    CSEndPointParser ep;
    EXPECT_FALSE(v.InitLinks(nullptr));
    EXPECT_FALSE(v.InitLinks(&empty));
    EXPECT_EQ(v.ValidateNICs(&gw), TOPOVEL_PARSE_FAILURE);
    EXPECT_EQ(v.ReplaceNetObject(&empty, &ep), TOPOVEL_PARSE_FAILURE);
    std::string other;
    EXPECT_EQ(v.GetLinkedObject(nullptr, "X", other), TOPOVEL_PARSE_FAILURE);

    // ReplaceNetObject puts an element back by its id.
    CSTopovelDocParser doc;
    ASSERT_EQ(doc.Parse(FendrelDoc("basic_topology.xml").c_str(), false), NX_SUCCESS);
    SHString text;
    ASSERT_EQ(doc.GetNetObjectXML("EP_SERVER", text), NX_SUCCESS);
    ASSERT_EQ(ep.Parse(Str(text).c_str(), false), NX_SUCCESS);
    ep.SetName("RENAMED");
    EXPECT_EQ(v.ReplaceNetObject(&doc, &ep), 0u);
    ASSERT_EQ(doc.GetNetObjectXML("EP_SERVER", text), NX_SUCCESS);
    EXPECT_NE(Str(text).find("RENAMED"), std::string::npos);
    EXPECT_EQ(v.GetLinkedObject(&doc, "EP_SERVER", other), 0u);
    EXPECT_EQ(other, "GW_B_NIC_LAN");
    EXPECT_EQ(v.GetLinkedObject(&doc, "NOBODY", other), TOPOVEL_PARSE_FAILURE);
}
