// The statistics document and the readers of its statistics elements.
#include "Fendrel/STallivoreDocParser.h"
#include "Fendrel/StatElementParsers.h"
#include "TestParsers.h"
#include "ValidationSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using fendrel_test::DataFile;
using fendrel_test::DtdDir;
using fendrel_test::Text;
using fendrel_test::ValidStatObject;
using fendrel_test::Xml;

namespace {

// The statistics document of the test data, parsed with validation.
void ParseStatistics(CSTallivoreDocParser& doc, const char* file = "statistics.xml") {
    doc.SetTopovelDtdPath(DtdDir().c_str());
    ASSERT_EQ(doc.Parse(DataFile(file).c_str(), true), NX_SUCCESS);
}

std::string StatXml(CSTallivoreDocParser& doc, const char* id) {
    SHString xml;
    return doc.GetStatObjectXML(id, xml) == NX_SUCCESS ? Text(xml) : "<not found>";
}

std::string Join(std::initializer_list<SHString*> values) {
    std::string out;
    for (SHString* v : values)
        out += (v == *values.begin() ? "" : "|") + Text(*v);
    return out;
}

} // namespace

// ---------------------------------------------------------------- statistics document

TEST(TallivoreDocParser, ListsTheStatisticsOfAParsedDocument) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    SHString s, tag, xml;
    ASSERT_EQ(doc.GetVersion(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "1.2");
    ASSERT_EQ(doc.GetPlayTimeOffset(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "3600");
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    unsigned count = 99;
    ASSERT_EQ(doc.GetStatObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 9u); // the comment and the blanks are not counted
    std::vector<std::string> tags;
    for (unsigned i = 0; i < count; ++i) {
        ASSERT_EQ(doc.GetStatObjectXML(i, tag, xml), NX_SUCCESS);
        tags.push_back(Text(tag));
        EXPECT_EQ(Text(xml).rfind("<" + Text(tag) + " ", 0), 0u) << Text(xml);
    }
    EXPECT_EQ(tags, (std::vector<std::string>{"WAN_NUVEX_STAT", "NUVEX_SHADOW_STAT", "GATEWAY_STAT",
                                              "ENDPOINTS_STAT", "PORT_STAT", "FRAME_RELAY_PVC_STAT",
                                              "PORT_STAT", "PACKET_LIST_STAT", "PORT_STAT"}));
    s.Assign("keep");
    EXPECT_EQ(doc.GetStatObjectXML(count, tag, s), NX_FAILURE);
    EXPECT_EQ(Text(s), "keep");

    ASSERT_EQ(doc.GetStatObjectTag("fr1", tag), NX_SUCCESS);
    EXPECT_EQ(Text(tag), "FRAME_RELAY_PVC_STAT");
    EXPECT_EQ(doc.GetStatObjectTag("FR1", tag), NX_FAILURE);
    // A NIC_STAT carries an ID too, but is no direct child of the container.
    EXPECT_EQ(doc.GetStatObjectTag("nic0", tag), NX_FAILURE);
    EXPECT_EQ(StatXml(doc, "nic0"), "<not found>");
    EXPECT_EQ(StatXml(doc, "port2"),
              "<PORT_STAT ID=\"port2\" NAME=\"Card 1 port 2\" THROUGHPUT_IN=\"11\" "
              "THROUGHPUT_OUT=\"21\" TOTAL_IN=\"301\" TOTAL_OUT=\"601\"/>\n");
}

TEST(TallivoreDocParser, RemovesStatisticsByTagAndIndex) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    unsigned count = 0;
    ASSERT_EQ(doc.RemoveStatObjectByTagName("PORT_STAT"), NX_SUCCESS);
    ASSERT_EQ(doc.GetStatObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(StatXml(doc, "port1"), "<not found>");
    ASSERT_EQ(doc.RemoveStatObjectByTagName("PORT_STAT"), NX_SUCCESS);
    EXPECT_EQ(doc.RemoveStatObjectByTagName(""), NX_FAILURE);
    EXPECT_EQ(doc.RemoveStatObjectByTagName(nullptr), NX_FAILURE);
    // NIC_STAT stands inside GATEWAY_STAT, not in the container.
    EXPECT_EQ(doc.RemoveStatObjectByTagName("NIC_STAT"), NX_FAILURE);
    EXPECT_EQ(doc.RemoveStatObjectByTagName("NET_OBJECTS_STATS"), NX_FAILURE);

    ASSERT_EQ(doc.RemoveStatObjectByIndex(1), NX_SUCCESS);
    EXPECT_EQ(StatXml(doc, "shadow1"), "<not found>");
    EXPECT_EQ(doc.RemoveStatObjectByIndex(5), NX_FAILURE);
    while (doc.RemoveStatObjectByIndex(0) == NX_SUCCESS) {
    }
    ASSERT_EQ(doc.GetStatObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
    const std::string xml = Xml(doc);
    EXPECT_NE(xml.find("<NET_OBJECTS_STATS>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("_STAT "), std::string::npos) << xml;
}

TEST(TallivoreDocParser, DocumentWithoutContainerOrDocument) {
    CSTallivoreDocParser doc;
    unsigned count = 7;
    SHString s("keep"), tag;
    EXPECT_EQ(doc.GetStatObjectsCount(count), NX_FAILURE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(doc.GetVersion(s), NX_FAILURE);
    EXPECT_EQ(doc.Validate(), NX_FAILURE);
    EXPECT_EQ(doc.GetStatObjectXML("wan1", s), NX_FAILURE);
    EXPECT_EQ(doc.RemoveStatObjectByIndex(0), NX_FAILURE);
    EXPECT_EQ(Text(s), "keep");

    ParseStatistics(doc, "statistics_sparse.xml");
    count = 7;
    ASSERT_EQ(doc.GetStatObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(doc.GetStatObjectXML(0u, tag, s), NX_FAILURE);
    EXPECT_EQ(doc.GetStatObjectXML(nullptr, s), NX_FAILURE);
    EXPECT_EQ(doc.GetStatObjectTag(nullptr, tag), NX_FAILURE);
    EXPECT_EQ(doc.RemoveStatObjectByTagName("PORT_STAT"), NX_FAILURE);
    ASSERT_EQ(doc.GetPlayTimeOffset(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "");
}

TEST(TallivoreDocParser, ValidatesAgainstTheDtdOfItsOwnFolder) {
    // The working directory holds no DTD: only the object's DTD folder can supply it.
    testsupport::TempDir cwd("fendrel-cwd");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path());

    CSTallivoreDocParser invalid;
    invalid.SetTopovelDtdPath(DtdDir().c_str());
    const std::string text = DataFile("statistics_invalid.xml");
    EXPECT_EQ(invalid.Parse(text.c_str(), true), NX_FAILURE);
    ASSERT_EQ(invalid.Parse(text.c_str(), false), NX_SUCCESS);
    EXPECT_EQ(invalid.Validate(), NX_FAILURE);
    unsigned count = 0;
    ASSERT_EQ(invalid.GetStatObjectsCount(count), NX_SUCCESS); // still usable
    EXPECT_EQ(count, 1u);

    CSTallivoreDocParser valid;
    ParseStatistics(valid);
    EXPECT_EQ(valid.Validate(), NX_SUCCESS);
    // Without a DTD folder the DTD cannot be found.
    valid.SetTopovelDtdPath("");
    EXPECT_EQ(valid.Validate(), NX_FAILURE);
    valid.SetTopovelDtdPath((cwd.str() + "/missing").c_str());
    EXPECT_EQ(valid.Validate(), NX_FAILURE);

    std::filesystem::current_path(previous);
}

TEST(TallivoreDocParser, CreatesAWholeDocumentWithItsDeclaration) {
    CSTallivoreDocParser doc("Topovel_1_2.dtd", "1.3");
    ASSERT_EQ(doc.CreateNew("ST_1", "Run"), NX_SUCCESS);
    const std::string xml = Xml(doc);
    EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"no\"?>\n\n"
                   "<!DOCTYPE TALLIVORE SYSTEM \"Topovel_1_2.dtd\">\n"
                   "<TALLIVORE ID=\"ST_1\" NAME=\"Run\" TOPOVEL_VERSION=\"1.3\">"
                   "<NET_OBJECTS_STATS/></TALLIVORE>\n\n");
    doc.SetTopovelDtdPath(DtdDir().c_str());
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
    unsigned count = 5;
    ASSERT_EQ(doc.GetStatObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    SHString s;
    ASSERT_EQ(doc.GetVersion(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "1.3");

    // The written text parses back with validation.
    CSTallivoreDocParser read;
    read.SetTopovelDtdPath(DtdDir().c_str());
    ASSERT_EQ(read.Parse(xml.c_str(), true), NX_SUCCESS);
    ASSERT_EQ(read.GetID(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "ST_1");
}

// ---------------------------------------------------------------- statistics elements

TEST(WanNuvexStatParser, ReadsLatencyAndPackets) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    CSWanNuvexStatParser wan;
    SHString a("keep"), b("keep"), c("keep");
    EXPECT_EQ(wan.GetLatencyStatData(a, b, c), NX_FAILURE);
    EXPECT_EQ(Join({&a, &b, &c}), "keep|keep|keep");
    ASSERT_EQ(wan.Parse(StatXml(doc, "wan1").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(wan.GetLatencyStatData(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c}), "40|55.5|120");
    ASSERT_EQ(wan.GetPacketsStatData(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "17|310");

    CSWanNuvexShadowStatParser shadow;
    ASSERT_EQ(shadow.Parse(StatXml(doc, "shadow1").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(shadow.GetLatencyStatData(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c}), "12|14|19");
    ASSERT_EQ(shadow.GetPacketsStatData(a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "0|44");

    ASSERT_EQ(wan.Parse("<WAN_NUVEX_STAT MIN_LATENCY=\"1\" MAX_LATENCY=\"3\"/>", false),
              NX_SUCCESS);
    ASSERT_EQ(wan.GetLatencyStatData(a, b, c), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c}), "1||3");
}

TEST(GatewayStatParser, ReadsEachNicByIndex) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    CSGatewayStatParser gw;
    unsigned count = 9;
    EXPECT_EQ(gw.GetNICsCount(count), NX_FAILURE);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(gw.Parse(StatXml(doc, "gw1").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS);
    ASSERT_EQ(count, 2u);
    SHString a, b;
    ASSERT_EQ(gw.GetNICStatIdName(1, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "nic1|Outside");
    ASSERT_EQ(gw.GetNICStatThroughput(0, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "64000|12000");
    ASSERT_EQ(gw.GetNICStatThroughputTotal(0, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "900000|150000");
    ASSERT_EQ(gw.GetNICStatBW(1, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "9|50");
    ASSERT_EQ(gw.GetNICStatQLen(1, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "0|5");
    ASSERT_EQ(gw.GetNICStatQLoss(0, a, b), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b}), "11|0");

    a.Assign("keep");
    b.Assign("keep");
    EXPECT_EQ(gw.GetNICStatQLen(static_cast<int>(count), a, b), NX_FAILURE);
    EXPECT_EQ(gw.GetNICStatQLen(-1, a, b), NX_FAILURE);
    EXPECT_EQ(gw.GetNICStatIdName(-2147483647 - 1, a, b), NX_FAILURE);
    EXPECT_EQ(Join({&a, &b}), "keep|keep");

    // NIC_STAT elements count at any depth below the root.
    ASSERT_EQ(gw.Parse("<GATEWAY_STAT><NIC_STAT ID=\"a\"/><X><NIC_STAT ID=\"b\"/></X>"
                       "</GATEWAY_STAT>",
                       false),
              NX_SUCCESS);
    ASSERT_EQ(gw.GetNICsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(gw.GetNICStatIdName(1, a, b), NX_SUCCESS);
    EXPECT_EQ(Text(a), "b");
}

TEST(ThroughputStatParsers, EndpointAndPort) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    SHString a("keep"), b, c, d;
    CSEndPointStatParser endpoint;
    EXPECT_EQ(endpoint.GetThroughput(a, b, c, d), NX_FAILURE);
    EXPECT_EQ(Text(a), "keep");
    ASSERT_EQ(endpoint.Parse(StatXml(doc, "client").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(endpoint.GetThroughput(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d}), "1000|2000|30000|60000");
    CSPortStatParser port;
    ASSERT_EQ(port.Parse(StatXml(doc, "port3").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(port.GetThroughput(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d}), "12|22|302|602");
}

TEST(FrameRelayStatParser, ReadsThroughputDropsAndQueues) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    CSFrameRelayStatParser fr;
    SHString a, b, c, d, e, f;
    ASSERT_EQ(fr.Parse(StatXml(doc, "fr1").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(fr.GetThroughputStat(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d}), "56000|48000|2|3");
    ASSERT_EQ(fr.GetDropStat(a, b, c, d), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d}), "4|4000|40|800");
    ASSERT_EQ(fr.GetQueueStat(a, b, c, d, e, f), NX_SUCCESS);
    EXPECT_EQ(Join({&a, &b, &c, &d, &e, &f}), "6|1|8|5000|2|4500");
}

TEST(PacketListStatParser, ReadsTheCountAsTextAndAsNumber) {
    CSTallivoreDocParser doc;
    ParseStatistics(doc);
    CSPacketListStatParser pl;
    unsigned count = 7;
    EXPECT_EQ(pl.GetPacketCount(count), NX_FAILURE);
    EXPECT_EQ(count, 7u);
    ASSERT_EQ(pl.Parse(StatXml(doc, "capture").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(pl.GetPacketCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 42u);
    SHString s;
    ASSERT_EQ(pl.GetRequestURL(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "http://stats.example/packets?id=capture&from=0");

    struct Case {
        const char* element;
        unsigned expected;
    };
    const Case cases[] = {
        {"<PACKET_LIST_STAT/>", 7},                             // missing: unchanged
        {"<PACKET_LIST_STAT PACKET_COUNT=\"many\"/>", 7},       // not a number
        {"<PACKET_LIST_STAT PACKET_COUNT=\"-1\"/>", 7},         // negative
        {"<PACKET_LIST_STAT PACKET_COUNT=\"4294967296\"/>", 7}, // above the range
        {"<PACKET_LIST_STAT PACKET_COUNT=\"4294967295\"/>", 4294967295u},
        {"<PACKET_LIST_STAT PACKET_COUNT=\"3000000000\"/>", 3000000000u},
    };
    for (const Case& c : cases) {
        count = 7;
        ASSERT_EQ(pl.Parse(c.element, false), NX_SUCCESS);
        EXPECT_EQ(pl.GetPacketCount(count), NX_SUCCESS) << c.element;
        EXPECT_EQ(count, c.expected) << c.element;
    }
}

TEST(StatElementParsers, BuiltElementsValidateAndKeepTheirIdentity) {
    CSWanNuvexStatParser wan;
    CSWanNuvexShadowStatParser shadow("Topovel_1_2.dtd", "1.2");
    CSGatewayStatParser gw;
    CSEndPointStatParser endpoint;
    CSPortStatParser port;
    CSFrameRelayStatParser fr;
    CSPacketListStatParser pl;
    CSTopovelBaseParser* parsers[] = {&wan, &shadow, &gw, &endpoint, &port, &fr, &pl};
    const char* roots[] = {"WAN_NUVEX_STAT",  "NUVEX_SHADOW_STAT", "GATEWAY_STAT",
                           "ENDPOINTS_STAT",  "PORT_STAT",         "FRAME_RELAY_PVC_STAT",
                           "PACKET_LIST_STAT"};
    std::string all;
    for (size_t i = 0; i < std::size(parsers); ++i) {
        ASSERT_EQ(parsers[i]->CreateNew("S", "Name"), NX_SUCCESS);
        const std::string xml = Xml(*parsers[i]);
        EXPECT_EQ(xml, std::string("<") + roots[i] + " ID=\"S\" NAME=\"Name\"/>\n\n");
        all += xml;
    }
    EXPECT_TRUE(ValidStatObject(all));
    // Copies share the document.
    CSPortStatParser copy(port);
    ASSERT_EQ(copy.SetName("Renamed"), NX_SUCCESS);
    SHString s;
    ASSERT_EQ(port.GetName(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "Renamed");
}
