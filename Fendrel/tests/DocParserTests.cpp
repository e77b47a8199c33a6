// Scenario document parser: new documents, the basic topology, network objects,
// links, user data and validation against the DTD.
#include "Fendrel/DomWriter.h"
#include "TestParsers.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>

using fendrel_test::CTestDocParser;
using fendrel_test::DataFile;
using fendrel_test::DtdDir;
using fendrel_test::Text;
using fendrel_test::Xml;

namespace {

class DocParserTest : public ::testing::Test {
protected:
    void SetUp() override { doc.SetTopovelDtdPath(DtdDir().c_str()); }

    void LoadBasic() {
        ASSERT_EQ(doc.Parse(DataFile("basic_topology.xml").c_str(), true), NX_SUCCESS);
    }

    // Tag names of the root's children, in order.
    std::string RootChildren() {
        std::string text = Xml(doc);
        // Sort by position.
        std::vector<std::pair<size_t, std::string>> items;
        for (const char* tag : {"<NET_OBJECTS", "<LINKS", "<RECORDING_DATA", "<USER_DATA"}) {
            size_t at = text.find(tag);
            if (at != std::string::npos)
                items.emplace_back(at, tag + 1);
        }
        std::sort(items.begin(), items.end());
        std::string out;
        for (auto& item : items)
            out += item.second + " ";
        return out;
    }

    CTestDocParser doc;
    SHString s;
};

const char kDataBlock[] =
    "<DATA_BLOCK ID=\"D\" NAME=\"Block\"><LATENCY_AND_LOSS_DATA "
    "SAMPLE_INTERVAL=\"10\"><LAT>1</LAT></LATENCY_AND_LOSS_DATA></DATA_BLOCK>";

} // namespace

TEST_F(DocParserTest, NewDocumentHasTheExactBytes) {
    ASSERT_EQ(doc.CreateNew("SCN_0001", "New scenario"), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), DataFile("new_scenario.xml"));
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
}

TEST_F(DocParserTest, RootAttributes) {
    EXPECT_EQ(doc.SetDescription("x"), NX_FAILURE);
    EXPECT_EQ(doc.GetCreatedOnDate(s), NX_FAILURE);
    ASSERT_EQ(doc.CreateNew("I", "N", "import"), NX_SUCCESS);
    EXPECT_EQ(doc.GetOrigin(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "import");
    EXPECT_EQ(doc.GetDescription(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "");
    EXPECT_EQ(doc.SetDescription("d"), NX_SUCCESS);
    EXPECT_EQ(doc.SetCreatedBy("c"), NX_SUCCESS);
    EXPECT_EQ(doc.SetUserData("u"), NX_SUCCESS);
    EXPECT_EQ(doc.SetCreatedOnHostName("h"), NX_SUCCESS);
    EXPECT_EQ(doc.SetCreatedOnDate("2026-12-09"), NX_SUCCESS);
    for (auto [getter, value] : {std::pair{&CSTopovelDocParser::GetDescription, "d"},
                                 {&CSTopovelDocParser::GetCreatedBy, "c"},
                                 {&CSTopovelDocParser::GetUserData, "u"},
                                 {&CSTopovelDocParser::GetCreatedOnHostName, "h"},
                                 {&CSTopovelDocParser::GetCreatedOnDate, "2026-12-09"}}) {
        EXPECT_EQ((doc.*getter)(s), NX_SUCCESS);
        EXPECT_EQ(Text(s), value);
    }
    EXPECT_EQ(doc.GetName(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "N");
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
}

TEST_F(DocParserTest, ParseRoundTripsByteForByte) {
    for (const char* file :
         {"basic_topology.xml", "basic_topology_normal.xml", "text_escapes.xml"}) {
        std::string text = DataFile(file);
        ASSERT_EQ(doc.Parse(text.c_str(), true), NX_SUCCESS) << file;
        EXPECT_EQ(Xml(doc), text) << file;
        EXPECT_EQ(doc.Validate(), NX_SUCCESS) << file;
    }
}

TEST_F(DocParserTest, NonAsciiAndMarkupTextReadsBackAsUtf8) {
    ASSERT_EQ(doc.Parse(DataFile("text_escapes.xml").c_str(), true), NX_SUCCESS);
    EXPECT_EQ(doc.GetName(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "Z\xc3\xbcrich \xe2\x86\x92 K\xc3\xb8"
                       "benhavn \xf0\x9f\x9a\x80");
    EXPECT_EQ(doc.GetDescription(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "Caf\xc3\xa9 <main> & \"backup\" 'line'\nsecond line\ttab");
    EXPECT_EQ(doc.GetUserDataBlock(s, "Note"), NX_SUCCESS);
    EXPECT_EQ(Text(s), "a < b && c > d \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(doc.GetUserDataBlock(s, "K\xc3\xb8"), NX_SUCCESS);
    EXPECT_EQ(Text(s), "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
    // Written by the setters, the same values give the same bytes.
    CTestDocParser built;
    ASSERT_EQ(built.CreateNew("SCN_TEXT", "Z\xc3\xbcrich \xe2\x86\x92 K\xc3\xb8"
                                          "benhavn \xf0\x9f\x9a\x80"),
              NX_SUCCESS);
    ASSERT_EQ(built.SetDescription("Caf\xc3\xa9 <main> & \"backup\" 'line'\nsecond line\ttab"),
              NX_SUCCESS);
    ASSERT_EQ(built.SetUserDataBlock("a < b && c > d \xc3\xa9t\xc3\xa9", "Note"), NX_SUCCESS);
    ASSERT_EQ(
        built.SetUserDataBlock("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "K\xc3\xb8"),
        NX_SUCCESS);
    std::string text = Xml(built);
    EXPECT_EQ(text.substr(text.find("<!DOCTYPE")), DataFile("text_escapes.xml"));
}

TEST_F(DocParserTest, InvalidAndMalformedDocuments) {
    EXPECT_EQ(doc.Parse(DataFile("malformed.xml").c_str(), false), NX_FAILURE);
    EXPECT_TRUE(doc.IsNULL());
    EXPECT_EQ(doc.Parse(DataFile("invalid.xml").c_str(), true), NX_FAILURE);
    EXPECT_TRUE(doc.IsNULL());
    ASSERT_EQ(doc.Parse(DataFile("invalid.xml").c_str(), false), NX_SUCCESS);
    EXPECT_EQ(doc.Validate(), NX_FAILURE);
    EXPECT_FALSE(doc.IsNULL());
    CTestDocParser noFolder;
    noFolder.SetTopovelDtdPath("");
    ASSERT_EQ(noFolder.Parse(DataFile("basic_topology.xml").c_str(), false), NX_SUCCESS);
    EXPECT_EQ(noFolder.Validate(), NX_FAILURE); // the DTD cannot be found
}

TEST_F(DocParserTest, NetObjectsAreReadChangedAndRemoved) {
    LoadBasic();
    unsigned count = 0;
    EXPECT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 5u); // the line breaks between objects do not count
    SHString tag;
    ASSERT_EQ(doc.GetNetObjectXML(2u, s, tag), NX_SUCCESS);
    EXPECT_EQ(Text(tag), "WAN_NUVEX");
    EXPECT_EQ(Text(s),
              "<WAN_NUVEX DESCRIPTION=\"Long-haul line\" ID=\"WAN_1\" NAME=\"WAN\">"
              "<FIXED_LATENCY LATENCY=\"80\"/><RANDOM_LOSS CHANCE=\"0.5\"/></WAN_NUVEX>\n");
    EXPECT_EQ(doc.GetNetObjectXML(5u, s, tag), NX_FAILURE);
    EXPECT_EQ(doc.GetNetObjectTag("GW_B", tag), NX_SUCCESS);
    EXPECT_EQ(Text(tag), "GATEWAY");
    EXPECT_EQ(doc.GetNetObjectTag("NIC_NOT_AN_OBJECT", tag), NX_FAILURE);
    EXPECT_EQ(doc.GetNetObjectXML("GW_A_NIC_LAN", s), NX_FAILURE); // not a direct child

    const char* wan =
        "<WAN_NUVEX ID=\"WAN_1\" NAME=\"WAN\"><FIXED_LATENCY LATENCY=\"120\"/></WAN_NUVEX>";
    EXPECT_EQ(doc.ReplaceNetObject("WAN_1", "<GATEWAY ID=\"WAN_1\"/>"), NX_FAILURE);
    EXPECT_EQ(doc.ReplaceNetObject("WAN_2", wan), NX_FAILURE);
    EXPECT_EQ(doc.ReplaceNetObject("WAN_1", "<WAN_NUVEX"), NX_FAILURE);
    ASSERT_EQ(doc.ReplaceNetObject("WAN_1", wan), NX_SUCCESS);
    EXPECT_EQ(doc.GetNetObjectXML("WAN_1", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), std::string(wan) + "\n");
    EXPECT_EQ(doc.GetNetObjectXML(2u, s, tag), NX_SUCCESS); // stays in place
    EXPECT_EQ(Text(s), std::string(wan) + "\n");

    EXPECT_EQ(doc.AddNetObject("<PACKET_LIST ID=\"PL\" NAME=\"List\"/>"), NX_SUCCESS);
    EXPECT_EQ(doc.AddNetObject("not xml"), NX_FAILURE);
    EXPECT_TRUE(doc.IsNetObjectExist("PACKET_LIST"));
    EXPECT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(doc.DeleteNetObject("PL"), NX_SUCCESS);
    EXPECT_EQ(doc.DeleteNetObject("PL"), NX_FAILURE);
    EXPECT_FALSE(doc.IsNetObjectExist("PACKET_LIST"));
    EXPECT_EQ(doc.RemoveNetObject(0u), NX_SUCCESS);
    EXPECT_EQ(doc.RemoveNetObject(4u), NX_FAILURE);
    EXPECT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(doc.RemoveNetObjects("GATEWAY"), NX_SUCCESS);
    EXPECT_FALSE(doc.IsNetObjectExist("GATEWAY"));
    EXPECT_FALSE(doc.IsNetObjectExist("NIC"));
    EXPECT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
}

TEST_F(DocParserTest, RemoveAndEmptyByTag) {
    LoadBasic();
    // HOST_ID stands inside the endpoints, not in NET_OBJECTS.
    EXPECT_EQ(doc.RemoveNetObjects("HOST_ID"), NX_FAILURE);
    EXPECT_EQ(doc.EmptyNetObjects("GATEWAY"), NX_SUCCESS);
    EXPECT_TRUE(doc.IsNetObjectExist("GATEWAY"));
    EXPECT_FALSE(doc.IsNetObjectExist("NIC"));
    EXPECT_EQ(doc.GetNetObjectXML("GW_A", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "<GATEWAY ID=\"GW_A\" NAME=\"Client gateway\"/>\n");
    // Nested elements of the tag are emptied before their ancestors drop them.
    ASSERT_EQ(doc.Parse("<TOPOVEL><NET_OBJECTS><X><X><Y/></X>t</X></NET_OBJECTS></TOPOVEL>", false),
              NX_SUCCESS);
    EXPECT_EQ(doc.EmptyNetObjects("X"), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), "<TOPOVEL><NET_OBJECTS><X/></NET_OBJECTS></TOPOVEL>\n\n");
}

TEST_F(DocParserTest, Links) {
    LoadBasic();
    unsigned count = 0;
    EXPECT_EQ(doc.GetLinksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 4u);
    SHString from, to;
    bool uni = true;
    ASSERT_EQ(doc.GetLinkNetObjects(1, from, to, uni), NX_SUCCESS);
    EXPECT_EQ(Text(from), "GW_A_NIC_WAN");
    EXPECT_EQ(Text(to), "WAN_1");
    EXPECT_FALSE(uni);
    EXPECT_EQ(doc.GetLinkNetObjects(4, from, to, uni), NX_FAILURE);
    EXPECT_TRUE(doc.IsLinked("WAN_1", "GW_B_NIC_WAN"));
    EXPECT_FALSE(doc.IsLinked("GW_B_NIC_WAN", "WAN_1"));
    EXPECT_EQ(doc.GetLinkedNetObject("WAN_1", s, 0), NX_SUCCESS);
    EXPECT_EQ(Text(s), "GW_A_NIC_WAN");
    EXPECT_EQ(doc.GetLinkedNetObject("WAN_1", s, 1), NX_SUCCESS);
    EXPECT_EQ(Text(s), "GW_B_NIC_WAN");
    EXPECT_EQ(doc.GetLinkedNetObject("WAN_1", s, 2), NX_FAILURE);

    EXPECT_EQ(doc.UnLinkNetObjects(nullptr, "WAN_1", false), NX_SUCCESS);
    EXPECT_EQ(doc.UnLinkNetObjects(nullptr, "NOBODY", false), NX_SUCCESS);
    EXPECT_EQ(doc.UnLinkNetObjects("WAN_1", "GW_B_NIC_WAN", false), NX_SUCCESS);
    EXPECT_EQ(doc.UnLinkNetObjects("EP_CLIENT", nullptr, false), NX_SUCCESS);
    EXPECT_EQ(doc.GetLinksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(doc.IsLinked("GW_B_NIC_LAN", "EP_SERVER"));
    EXPECT_EQ(doc.UnLinkNetObjects(nullptr, nullptr, false), NX_SUCCESS);
    EXPECT_EQ(doc.GetLinksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(doc.UnLinkNetObjects(nullptr, nullptr, false), NX_SUCCESS);

    // A link without UNIDIRECTIONAL counts as unidirectional.
    ASSERT_EQ(
        doc.Parse("<TOPOVEL><LINKS><LINK FROM_OBJECT=\"a\" TO_OBJECT=\"b\"/></LINKS></TOPOVEL>",
                  false),
        NX_SUCCESS);
    ASSERT_EQ(doc.GetLinkNetObjects(0, from, to, uni), NX_SUCCESS);
    EXPECT_TRUE(uni);
    EXPECT_EQ(doc.RemoveLinks(), NX_SUCCESS);
    EXPECT_EQ(doc.RemoveLinks(), NX_FAILURE);
    EXPECT_EQ(doc.GetLinksCount(count), NX_FAILURE);
    EXPECT_EQ(doc.UnLinkNetObjects("a", "b", true), NX_SUCCESS);
}

TEST_F(DocParserTest, RootChildrenStayInTheirOrder) {
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock("v", "k"), NX_SUCCESS);
    EXPECT_EQ(RootChildren(), "NET_OBJECTS LINKS USER_DATA ");
    ASSERT_EQ(doc.AddDataBlock(kDataBlock), NX_SUCCESS);
    EXPECT_EQ(RootChildren(), "NET_OBJECTS LINKS RECORDING_DATA USER_DATA ");
    ASSERT_EQ(doc.RemoveLinks(), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("a", "b", true), NX_SUCCESS);
    EXPECT_EQ(RootChildren(), "NET_OBJECTS LINKS RECORDING_DATA USER_DATA ");
    EXPECT_TRUE(doc.IsLinked("a", "b"));
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(kDataBlock), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock("v", "k"), NX_SUCCESS);
    ASSERT_EQ(doc.RemoveLinks(), NX_SUCCESS);
    ASSERT_EQ(doc.RemoveAllRecordedData(), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("a", "b", false), NX_SUCCESS);
    EXPECT_EQ(RootChildren(), "NET_OBJECTS LINKS USER_DATA ");
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
}

TEST_F(DocParserTest, UserData) {
    EXPECT_EQ(doc.SetUserDataBlock("v", "k"), NX_FAILURE);
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    EXPECT_EQ(doc.GetUserDataBlock(s, "k"), NX_FAILURE);
    ASSERT_EQ(doc.SetUserDataBlock("first", "k"), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock("second", "k"), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock("", "empty"), NX_SUCCESS);
    EXPECT_EQ(doc.GetUserDataBlock(s, "k"), NX_SUCCESS);
    EXPECT_EQ(Text(s), "first");
    EXPECT_EQ(doc.GetUserDataBlock(s, "missing"), NX_FAILURE);
    EXPECT_EQ(doc.GetUserDataBlock(s, "empty"), NX_SUCCESS);
    EXPECT_EQ(Text(s), "");
}

TEST_F(DocParserTest, NormalFormOfTheBasicTopology) {
    // The steps of the client's validator, done here with plain text edits: every id
    // renamed in place, then the links built again.
    LoadBasic();
    auto rename = [&](const char* id, std::vector<std::pair<std::string, std::string>> edits) {
        ASSERT_EQ(doc.GetNetObjectXML(id, s), NX_SUCCESS);
        std::string text = Text(s);
        for (auto& [from, to] : edits) {
            size_t at = text.find("ID=\"" + from + "\"");
            ASSERT_NE(at, std::string::npos) << from;
            text.replace(at + 4, from.size(), to);
        }
        ASSERT_EQ(doc.ReplaceNetObject(id, text.c_str()), NX_SUCCESS);
    };
    rename("EP_CLIENT", {{"EP_CLIENT", "ID_CLIENT"}});
    rename("EP_SERVER", {{"EP_SERVER", "ID_SERVER"}});
    rename("WAN_1", {{"WAN_1", "ID_WAN_NUVEX"}});
    rename("GW_A", {{"GW_A", "ID_CLIENT_GW"},
                    {"GW_A_NIC_LAN", "ID_CLIENT_GW_NIC_2"},
                    {"GW_A_NIC_WAN", "ID_CLIENT_GW_NIC_1"}});
    rename("GW_B", {{"GW_B", "ID_SERVER_GW"},
                    {"GW_B_NIC_LAN", "ID_SERVER_GW_NIC_1"},
                    {"GW_B_NIC_WAN", "ID_SERVER_GW_NIC_2"}});
    ASSERT_EQ(doc.RemoveLinks(), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("ID_CLIENT", "ID_CLIENT_GW_NIC_2", false), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("ID_CLIENT_GW_NIC_1", "ID_WAN_NUVEX", false), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("ID_WAN_NUVEX", "ID_SERVER_GW_NIC_2", false), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("ID_SERVER_GW_NIC_1", "ID_SERVER", false), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), DataFile("basic_topology_normal.xml"));
}

TEST_F(DocParserTest, EveryElementKindValidates) {
    // One object of every kind, with every attribute and child the element parsers
    // write, added through the builder operations.
    ASSERT_EQ(doc.CreateNew("SCN_ALL", "All kinds", "tests"), NX_SUCCESS);
    const char* objects[] = {
        "<ENDPOINT ID=\"E\" NAME=\"CLIENT\"><HOST_ID NAME_OR_IP=\"h\"/><INCLUDE_IPS><IP_RANGE "
        "FROM_IP=\"a\" "
        "PORT=\"1\" PROTOCOL=\"6\" TO_IP=\"b\"/></INCLUDE_IPS><EXCLUDE_IPS><IP_RANGE FROM_IP=\"c\" "
        "TO_IP=\"d\"/></EXCLUDE_IPS><HOST_ID NAME_OR_IP=\"late\"/></ENDPOINT>",
        "<PORT CARD_POSITION=\"1\" ID=\"P\" NAME=\"Port\" "
        "PORT_POSITION=\"2\"><EXCLUDE_IPS/><INCLUDE_IPS/></PORT>",
        "<PACKET_LIST ID=\"L\" NAME=\"List\"/>",
        "<GATEWAY ID=\"G\" NAME=\"Gw\"><ROUTING_RULES><ROUTE GOING_TO_DEST=\"x\" "
        "GO_THROUGH_ELEMENT=\"y\"/>"
        "</ROUTING_RULES><NICS><NIC BANDWIDTH=\"1\" ID=\"N\" IN_BW_UTIL=\"1\" NAME=\"n\" "
        "OUT_BW_UTIL=\"1\" "
        "PACKET_OVERHEAD_BYTES=\"0\"><IN_QUEUE Q_MEMORY_MODE=\"packet\" "
        "Q_MEMORY_SIZE=\"1\"><Q_POLICY_DROP_TAIL/>"
        "<Q_POLICY_RED MAX_THRESHOLD=\"2\" "
        "MIN_THRESHOLD=\"1\"/></IN_QUEUE><OUT_QUEUE/></NIC></NICS></GATEWAY>",
        "<DS_GATEWAY ID=\"DG\" NAME=\"Ds\"><DS_NICS><DS_NIC BANDWIDTH=\"1\" ID=\"DN\" "
        "IN_BW_UTIL=\"1\" NAME=\"n\" "
        "OUT_BW_UTIL=\"1\" PACKET_OVERHEAD_BYTES=\"0\"><DS_TRAFFIC_CONTROL_BLOCK ID=\"T\" "
        "NAME=\"t\" "
        "QUEUING_SYSTEM=\"CBWFQ\"><DS_CLASS DSCP=\"46\" NAME=\"voice\"><DS_CLASSIFIER><DS_FILTER "
        "DEST_PORT=\"5060\" "
        "DSCP=\"46\" DST_FROM_IP=\"a\" DST_TO_IP=\"b\" PROTOCOL=\"17\" SRC_FROM_IP=\"c\" "
        "SRC_TO_IP=\"d\"/>"
        "</DS_CLASSIFIER><DS_SHAPER AVG_RATE=\"1\" BURST=\"2\"/><DS_POLICER AVG_RATE=\"1\" "
        "BURST=\"2\"/>"
        "<DS_QUEUEING><DS_CBWFQ BANDWIDTH=\"10\"><DS_CBWFQ_CUSTOM><DS_CBWFQ_RED "
        "MAX_THRESHOLD=\"2\" "
        "MIN_THRESHOLD=\"1\"/><DS_CBWFQ_DROP_TAIL "
        "Q_LIMIT=\"5\"/></DS_CBWFQ_CUSTOM><DS_CBWFQ_PRIORITY>"
        "<DS_CBWFQ_DROP_TAIL Q_LIMIT=\"3\"/></DS_CBWFQ_PRIORITY><DS_CBWFQ_DEFAULT USE_WFQ=\"yes\">"
        "<DS_CBWFQ_DROP_TAIL Q_LIMIT=\"4\"/></DS_CBWFQ_DEFAULT></DS_CBWFQ><DS_PRIORITY_QUEUE "
        "PRIORITY=\"1\"/>"
        "<DS_CUSTOM_QUEUE BANDWIDTH=\"1\" "
        "QUEUE_LIMIT=\"2\"/></DS_QUEUEING></DS_CLASS><DS_DEFAULT_CLASS "
        "DSCP=\"0\" "
        "NAME=\"rest\"/></DS_TRAFFIC_CONTROL_BLOCK></DS_NIC></DS_NICS><ROUTING_RULES/></"
        "DS_GATEWAY>",
        "<WAN_NUVEX DESCRIPTION=\"d\" ID=\"W\" NAME=\"Wan\"><RECORDED_LOSS "
        "SCALE_FACTOR=\"100\"/><FIXED_LATENCY "
        "LATENCY=\"1\"/><NORMAL_LATENCY AVERAGE=\"1\" STD_DEVIATION=\"2\"/><UNIFORM_LATENCY "
        "LIMIT_CHANGE=\"yes\" "
        "LIMIT_CHANGE_VALUE=\"3\" MAX=\"2\" MIN=\"1\"/><LINEAR_LATENCY DURATION=\"3\" MAX=\"2\" "
        "MIN=\"1\"/>"
        "<RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"LOOP\" "
        "SCALE_FACTOR=\"100\"/><PERIODIC_LOSS "
        "PACKET_COUNT=\"10\"/><RANDOM_LOSS CHANCE=\"1\"/><BURST_LOSS BURST_CHANCE=\"1\" "
        "MAX_PACKET_LOSS=\"3\" "
        "MIN_PACKET_LOSS=\"2\"/><GILBERT_ELLIOT_LOSS><GOOD_STATE_LOSS "
        "CHANGE_TO_BAD_CHANCE=\"1\"><RANDOM_LOSS "
        "CHANCE=\"2\"/></GOOD_STATE_LOSS><BAD_STATE_LOSS CHANGE_TO_GOOD_CHANCE=\"3\"><RANDOM_LOSS "
        "CHANCE=\"4\"/>"
        "</BAD_STATE_LOSS></GILBERT_ELLIOT_LOSS><BIT_ERROR AVG_FREQUENCY=\"1\" "
        "MAX_TOGGLED_BITS=\"3\" "
        "MIN_TOGGLED_BITS=\"2\"/><OUT_OF_ORDER CHANCE=\"1\" MAX_OFFSET=\"3\" "
        "MIN_OFFSET=\"2\"/><DUPLICATE_PACKETS "
        "CHANCE=\"1\" MAX_DUPLICATION=\"3\" MIN_DUPLICATION=\"2\"/><FRAGMENTATION CHANCE=\"1\" "
        "FRAG_BEHAVIOR=\"IGNORE_DF_BIT\" MAX_TRANSMIT_UNIT=\"576\"/><TTL_DECREMENT "
        "CHANGE_FREQ=\"1\" "
        "DEC_BEHAVIOR=\"SEND_ICMP_ERROR\" MAX_DECREMENT=\"3\" MIN_DECREMENT=\"2\"/><DISCONNECT "
        "AVG_FREQUENCY=\"1\" "
        "MAX_TIME_SPAN=\"3\" MIN_TIME_SPAN=\"2\"/><CONGESTION AVG_FREQUENCY=\"1\" "
        "MAX_TIME_SPAN=\"3\" "
        "MIN_TIME_SPAN=\"2\"><FIXED_LATENCY LATENCY=\"5\"/><RANDOM_LOSS "
        "CHANCE=\"6\"/></CONGESTION></WAN_NUVEX>",
        "<NUVEX_SHADOW ID=\"S\" IMPORTED_TIME_START=\"0\" IMPORT_INTERVAL_LEN=\"60\" "
        "NAME=\"Shadow\"><HOST_ID "
        "NAME_OR_IP=\"h\"/><RECORDING_DETAILS DESTINATION_IP=\"d\" PACKET_LEN=\"64\" "
        "RECORDING_NAME=\"r\" "
        "SAMPLE_INTERVAL=\"100\"/><RECORDED_LATENCY DATA_BLOCK_NAME=\"B\" PLAYBACK_MODE=\"ONCE\" "
        "SCALE_FACTOR=\"100\"/><RECORDED_LOSS SCALE_FACTOR=\"100\"/></NUVEX_SHADOW>",
        "<FRAME_RELAY_PVC CIR=\"64\" EIR=\"128\" ID=\"F\" NAME=\"Pvc\"><UNIFORM_LATENCY "
        "LIMIT_CHANGE=\"no\" "
        "LIMIT_CHANGE_VALUE=\"\" MAX=\"2\" MIN=\"1\"/><COMMITTED_DATA_LOSS><RANDOM_LOSS "
        "CHANCE=\"1\"/>"
        "<RANDOM_LOSS CHANCE=\"2\"/></COMMITTED_DATA_LOSS><EXCESS_DATA_LOSS><RANDOM_LOSS "
        "CHANCE=\"3\"/>"
        "</EXCESS_DATA_LOSS><FR_CONGESTION AVG_FREQUENCY=\"1\" FREQUENCY_MODE=\"RANDOM\" "
        "MAX_EIR_USAGE=\"4\" "
        "MAX_TIMESPAN=\"3\" MIN_EIR_USAGE=\"2\" MIN_TIMESPAN=\"1\"/><FRAD_PARAMETERS "
        "DECREASE_RATE=\"1\" "
        "INCREASE_RATE=\"2\" OUT_QUEUE_SIZE=\"3\"/></FRAME_RELAY_PVC>",
    };
    for (const char* object : objects)
        ASSERT_EQ(doc.AddNetObject(object), NX_SUCCESS) << object;
    ASSERT_EQ(doc.LinkNetObjects("E", "N", true), NX_SUCCESS);
    ASSERT_EQ(
        doc.AddDataBlock(
            "<DATA_BLOCK ID=\"B1\" NAME=\"B\"><RECORDING_DETAILS CREATE_DATE=\"c\" "
            "DESCRIPTION=\"d\" "
            "DESTINATION_IP=\"e\" IMPORTED_INTERVAL_LENGTH=\"f\" "
            "IMPORTED_INTERVAL_START_TIME=\"g\" "
            "ORIGIN=\"h\" ORIGIN_VERSION=\"i\" PACKET_LEN=\"j\" RECORDING_HOST=\"k\" "
            "RECORDING_NAME=\"l\" "
            "SAMPLE_INTERVAL=\"m\" SOURCE_IP=\"n\"/><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"100\">"
            "<LAT>1</LAT><LOS>0.00</LOS></LATENCY_AND_LOSS_DATA></DATA_BLOCK>"),
        NX_SUCCESS);
    ASSERT_EQ(
        doc.AddDataBlock("<DATA_BLOCK ID=\"B2\" NAME=\"C\"><LATENCY_AND_LOSS_DATA/></DATA_BLOCK>"),
        NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock("value", "name"), NX_SUCCESS);
    ASSERT_EQ(doc.SetDescription("d"), NX_SUCCESS);
    ASSERT_EQ(doc.SetCreatedBy("c"), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserData("u"), NX_SUCCESS);
    ASSERT_EQ(doc.SetCreatedOnHostName("h"), NX_SUCCESS);
    ASSERT_EQ(doc.SetCreatedOnDate("t"), NX_SUCCESS);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    // The statistics document and its elements.
    orvane::xml::XmlDocument stats;
    ASSERT_TRUE(orvane::xml::CreateEmptyDocument(stats, "TALLIVORE", "T", "Stats",
                                                 "Topovel_1_2.dtd", "1.2", true));
    std::string text =
        "<!DOCTYPE TALLIVORE SYSTEM \"Topovel_1_2.dtd\"><TALLIVORE ID=\"T\" "
        "PLAY_TIME_OFFSET=\"5\" TOPOVEL_VERSION=\"1.2\"><NET_OBJECTS_STATS>"
        "<WAN_NUVEX_STAT AVG_LATENCY=\"1\" CURR_PACKETS=\"2\" ID=\"W\" MAX_LATENCY=\"3\" "
        "MAX_PACKETS=\"4\" MIN_LATENCY=\"0\" NAME=\"w\"/><NUVEX_SHADOW_STAT ID=\"S\"/>"
        "<GATEWAY_STAT ID=\"G\"><NIC_STAT BPS_IN=\"1\" BPS_OUT=\"2\" BW_UTIL_IN=\"3\" "
        "BW_UTIL_OUT=\"4\" ID=\"N\" NAME=\"n\" Q_LEN_IN=\"5\" Q_LEN_OUT=\"6\" "
        "Q_LOSS_COUNT_IN=\"7\" Q_LOSS_COUNT_OUT=\"8\" TOTAL_IN=\"9\" TOTAL_OUT=\"10\"/>"
        "</GATEWAY_STAT><ENDPOINTS_STAT ID=\"E\" THROUGHPUT_IN=\"1\" THROUGHPUT_OUT=\"2\" "
        "TOTAL_IN=\"3\" TOTAL_OUT=\"4\"/><PORT_STAT ID=\"P\" THROUGHPUT_IN=\"1\"/>"
        "<FRAME_RELAY_PVC_STAT BPS_EAST=\"1\" BPS_WEST=\"2\" CIR_DROP_COUNT=\"3\" "
        "CIR_TOTAL_PACKETS=\"4\" EAST_SHAPE_ID=\"5\" EIR_DROP_COUNT=\"6\" "
        "EIR_TOTAL_PACKETS=\"7\" ID=\"F\" Q_DROP_COUNT_EAST=\"8\" Q_DROP_COUNT_WEST=\"9\" "
        "Q_LEN_EAST=\"10\" Q_LEN_WEST=\"11\" TOTAL_PACKETS_EAST=\"12\" "
        "TOTAL_PACKETS_WEST=\"13\" WEST_SHAPE_ID=\"14\"/><PACKET_LIST_STAT ID=\"L\" "
        "PACKET_COUNT=\"42\" REQUEST_URL=\"u\"/></NET_OBJECTS_STATS></TALLIVORE>";
    orvane::xml::XmlDocument parsed;
    EXPECT_TRUE(
        orvane::xml::ParseFromMemory(text.c_str(), parsed, true, nullptr, DtdDir().c_str()));
    std::string created = SerializeNode(stats.get());
    EXPECT_TRUE(
        orvane::xml::ParseFromMemory(created.c_str(), parsed, true, nullptr, DtdDir().c_str()))
        << created;
}

TEST_F(DocParserTest, ObjectsWithoutTheirKeyMatchNoLookup) {
    ASSERT_EQ(doc.Parse("<TOPOVEL><NET_OBJECTS><ENDPOINT NAME=\"no id\"/><ENDPOINT ID=\"\" "
                        "NAME=\"empty id\"/></NET_OBJECTS><RECORDING_DATA><DATA_BLOCK ID=\"D\"/>"
                        "</RECORDING_DATA><USER_DATA><USER_DATA_VALUE>v</USER_DATA_VALUE>"
                        "</USER_DATA></TOPOVEL>",
                        false),
              NX_SUCCESS);
    // The object with an empty ID is found by it; the one without an ID by nothing.
    ASSERT_EQ(doc.GetNetObjectXML("", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "<ENDPOINT ID=\"\" NAME=\"empty id\"/>\n");
    ASSERT_EQ(doc.DeleteNetObject(""), NX_SUCCESS);
    EXPECT_EQ(doc.GetNetObjectXML("", s), NX_FAILURE);
    EXPECT_EQ(doc.GetNetObjectTag("", s), NX_FAILURE);
    EXPECT_EQ(doc.DeleteNetObject(""), NX_FAILURE);
    unsigned count = 0;
    ASSERT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
    // The same for a data block and a user value without a NAME.
    EXPECT_EQ(doc.GetDataBlockXML("", s), NX_FAILURE);
    EXPECT_EQ(doc.DeleteDataBlock(""), NX_FAILURE);
    EXPECT_EQ(doc.ReplaceDataBlock("", "<DATA_BLOCK NAME=\"\"/>"), NX_FAILURE);
    EXPECT_EQ(doc.GetUserDataBlock(s, ""), NX_FAILURE);
    ASSERT_EQ(doc.GetDataBlocksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 1u);
}
