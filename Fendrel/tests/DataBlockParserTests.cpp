// Recorded data block: sample text read and written, recording details, and the
// block inside a scenario document.
#include "ElementTestSupport.h"
#include "Fendrel/SDataBlockParser.h"
#include "Fendrel/SEndPointParser.h"
#include "Fendrel/SGatewayParser.h"
#include "Fendrel/SWanNuvexParser.h"
#include "TestParsers.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using fendrel_test::At;
using fendrel_test::CTestDocParser;
using fendrel_test::DataFile;
using fendrel_test::Text;
using fendrel_test::ValidatesInScenario;
using fendrel_test::Xml;

namespace {

std::string Block(const std::string& samples, const char* details = "") {
    return std::string("<DATA_BLOCK ID=\"D\" NAME=\"Run\">") + details +
           "<LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"100\">" + samples +
           "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>";
}

std::vector<int> Latencies(CSDataBlockParser& block) {
    unsigned count = 0;
    if (block.GetSamplesCount(count) != NX_SUCCESS)
        return {-1};
    std::vector<int> out(count);
    if (block.GetSampleLatencyArray(count, out.data()) != NX_SUCCESS)
        return {-2};
    return out;
}

std::vector<float> Losses(CSDataBlockParser& block, unsigned count) {
    std::vector<float> out(count);
    if (block.GetSampleLossArray(count, out.data()) != NX_SUCCESS)
        return {-1.0f};
    return out;
}

} // namespace

TEST(DataBlockSamples, SampleTextEdgeCases) {
    struct Expected {
        const char* samples;
        bool parses;
        std::vector<int> latency;
    };
    const Expected cases[] = {
        {"<LAT>10</LAT><LAT>20</LAT>", true, {10, 20}},
        {"<LAT>12.7</LAT>", true, {12}},
        {"\n  <LAT>1</LAT>\r\n\t<LAT>2</LAT>  \n", true, {1, 2}},
        {"<LAT>3 </LAT>", true, {3}}, // a blank before the closing tag is skipped
        {"", true, {}},
        {"<LAT> 10</LAT>", false, {}},
        {"<LAT>-5</LAT>", false, {}},
        {"<LAT>+5</LAT>", false, {}},
        {"<LAT>x</LAT>", false, {}},
        {"<LAT>1</LAT><LOS>1</LOS><LAT>2</LAT>", false, {}}, // counts differ
        {"<LAT>1</LAT><LOS>0.5</LOS><LOS>0.5</LOS>", false, {}},
        {"<LAT>1</LAT><FOO>2</FOO>", false, {}},
        {"<LAT>1</LA", false, {}},
    };
    for (const Expected& item : cases) {
        SCOPED_TRACE(item.samples);
        CSDataBlockParser block;
        ASSERT_EQ(block.Parse(Block("<LAT>77</LAT>").c_str(), false), NX_SUCCESS);
        NX_RC rc = block.Parse(Block(item.samples).c_str(), false);
        EXPECT_EQ(rc, item.parses ? NX_SUCCESS : NX_FAILURE);
        if (item.parses) {
            EXPECT_EQ(Latencies(block), item.latency);
        } else {
            // A failed parse keeps neither the previous block nor any sample.
            EXPECT_TRUE(block.IsNULL());
            unsigned count = 0;
            EXPECT_EQ(block.GetSamplesCount(count), NX_FAILURE);
        }
    }
}

TEST(DataBlockSamples, LatencyWithLossIsWrittenWithTwoDecimals) {
    CSDataBlockParser block;
    ASSERT_EQ(block.Parse(Block("<LAT>10</LAT><LOS>0.5</LOS><LAT>20</LAT><LOS>1.25</LOS>").c_str(),
                          false),
              NX_SUCCESS);
    EXPECT_EQ(Latencies(block), (std::vector<int>{10, 20}));
    EXPECT_EQ(Losses(block, 2), (std::vector<float>{0.5f, 1.25f}));
    SHString value;
    ASSERT_EQ(block.GetSampleLoss(0, value), NX_SUCCESS);
    EXPECT_EQ(Text(value), "0.50");
    ASSERT_EQ(block.GetSampleLatency(1, value), NX_SUCCESS);
    EXPECT_EQ(Text(value), "20");
    EXPECT_EQ(block.GetSampleLatency(2, value), NX_FAILURE);
    EXPECT_NE(
        Xml(block).find("<LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"100\"><LAT>10</LAT><LOS>0.50</"
                        "LOS><LAT>20</LAT><LOS>1.25</LOS></LATENCY_AND_LOSS_DATA>"),
        std::string::npos)
        << Xml(block);

    CSDataBlockParser latencyOnly;
    ASSERT_EQ(latencyOnly.Parse(Block("<LAT>10</LAT><LAT>20</LAT>").c_str(), false), NX_SUCCESS);
    EXPECT_EQ(latencyOnly.GetSampleLoss(0, value), NX_FAILURE);
    // A size above the count fills the count.
    std::vector<int> out(100, -1);
    ASSERT_EQ(latencyOnly.GetSampleLatencyArray(100, out.data()), NX_SUCCESS);
    EXPECT_EQ(out[1], 20);
    EXPECT_EQ(out[2], -1);
}

TEST(DataBlockSamples, EmptyAndSelfClosingElementsStaySelfClosing) {
    for (const char* text :
         {"<DATA_BLOCK NAME=\"E\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"5\"/></DATA_BLOCK>",
          "<DATA_BLOCK NAME=\"E\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"5\"></"
          "LATENCY_AND_LOSS_DATA></DATA_BLOCK>"}) {
        CSDataBlockParser block;
        ASSERT_EQ(block.Parse(text, true), NX_SUCCESS) << text;
        EXPECT_EQ(Latencies(block), std::vector<int>{});
        EXPECT_NE(Xml(block).find("<LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"5\"/>"),
                  std::string::npos);
    }
    CSDataBlockParser missing;
    EXPECT_EQ(missing.Parse("<DATA_BLOCK NAME=\"E\"/>", false), NX_FAILURE);
    EXPECT_EQ(missing.Parse("<DATA_BLOCK><LATENCY_AND_LOSS_DATA><LAT>1</LAT></DATA_BLOCK>", false),
              NX_FAILURE);
}

TEST(DataBlockSamples, TagPreciseSearchSkipsAttributesAndComments) {
    // The element's name in a comment and in an attribute value is not the element.
    const char* text = "<DATA_BLOCK NAME=\"B\"><!-- <LATENCY_AND_LOSS_DATA> --><RECORDING_DETAILS "
                       "DESCRIPTION=\"LATENCY_AND_LOSS_DATA of a run\"/><LATENCY_AND_LOSS_DATAX/>"
                       "<LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"1\"><LAT>4</LAT><LAT>5</LAT>"
                       "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>";
    CSDataBlockParser block;
    ASSERT_EQ(block.Parse(text, false), NX_SUCCESS);
    EXPECT_EQ(Latencies(block), (std::vector<int>{4, 5}));
    std::string back = Xml(block);
    EXPECT_NE(back.find("<LAT>4</LAT><LAT>5</LAT></LATENCY_AND_LOSS_DATA>"), std::string::npos)
        << back;
}

TEST(DataBlockSamples, HundredThousandSamplesRoundTrip) {
    CSDataBlockParser block;
    ASSERT_EQ(block.CreateNew("D", "Long", "10"), NX_SUCCESS);
    const unsigned n = 100000;
    for (unsigned i = 0; i < n; ++i)
        ASSERT_EQ(block.AddSamples(i % 5000, static_cast<float>(i % 10000) / 100.0f), NX_SUCCESS);
    SHString text;
    ASSERT_EQ(block.GetXML(text), NX_SUCCESS);

    CSDataBlockParser back;
    ASSERT_EQ(back.Parse(text.GetString(), false), NX_SUCCESS);
    std::vector<int> latency = Latencies(back);
    ASSERT_EQ(latency.size(), n);
    std::vector<float> loss = Losses(back, n);
    for (unsigned i = 0; i < n; ++i) {
        ASSERT_EQ(latency[i], static_cast<int>(i % 5000)) << i;
        ASSERT_NEAR(loss[i], static_cast<float>(i % 10000) / 100.0f, 0.006f) << i;
    }
    SHString again;
    ASSERT_EQ(back.GetXML(again), NX_SUCCESS);
    EXPECT_EQ(Text(again), Text(text));
}

TEST(DataBlockDetails, SetRecordingDetailsGoesBeforeTheFirstChild) {
    CSDataBlockParser block;
    ASSERT_EQ(block.CreateNew("D", "Run", "100"), NX_SUCCESS);
    ASSERT_EQ(block.AddSamples(10, 0.5f), NX_SUCCESS);
    _RECORDING_DETAILS details;
    details.RECORDING_HOST.Assign("probe-1");
    details.SOURCE_IP.Assign("198.18.0.10");
    details.IMPORTED_INTERVAL_LENGTH.Assign("600");
    details.DESCRIPTION.Assign("a < b & c");
    ASSERT_EQ(block.SetRecordingDetails(details), NX_SUCCESS);
    std::string text = Xml(block);
    EXPECT_LT(At(text, "<RECORDING_DETAILS"), At(text, "<LATENCY_AND_LOSS_DATA"));
    EXPECT_TRUE(ValidatesInScenario(block, true));

    CSDataBlockParser back;
    ASSERT_EQ(back.Parse(text.c_str(), true), NX_SUCCESS);
    _RECORDING_DETAILS read;
    read.ORIGIN.Assign("stale");
    ASSERT_EQ(back.GetRecordingDetails(read), NX_SUCCESS);
    EXPECT_EQ(Text(read.RECORDING_HOST), "probe-1");
    EXPECT_EQ(Text(read.DESCRIPTION), "a < b & c");
    EXPECT_EQ(Text(read.ORIGIN), ""); // written empty
    unsigned length = 0;
    ASSERT_EQ(back.GetSampleIntervalLength(length), NX_SUCCESS);
    EXPECT_EQ(length, 600u);
    SHString value;
    ASSERT_EQ(back.GetSamplesInterval(value), NX_SUCCESS);
    EXPECT_EQ(Text(value), "100");
    ASSERT_EQ(back.SetName("Evening"), NX_SUCCESS);
    ASSERT_EQ(back.GetName(value), NX_SUCCESS);
    EXPECT_EQ(Text(value), "Evening");

    CSDataBlockParser bare;
    ASSERT_EQ(bare.CreateNew("D", "N"), NX_SUCCESS);
    EXPECT_EQ(bare.GetRecordingDetails(read), NX_FAILURE);
    EXPECT_EQ(bare.GetSampleIntervalLength(length), NX_FAILURE);
    EXPECT_EQ(bare.GetSamplesInterval(value), NX_FAILURE);
    ASSERT_EQ(bare.SetRecordingDetails(details), NX_SUCCESS); // the root's only child
    ASSERT_EQ(bare.SetSampleInterval("7"), NX_SUCCESS);
    EXPECT_LT(At(Xml(bare), "<RECORDING_DETAILS"), At(Xml(bare), "<LATENCY_AND_LOSS_DATA"));
}

TEST(DataBlockDocument, BlocksOfAScenarioReadThroughTheParser) {
    CTestDocParser doc;
    doc.SetTopovelDtdPath(fendrel_test::DtdDir().c_str());
    ASSERT_EQ(doc.Parse(DataFile("recorded_data.xml").c_str(), true), NX_SUCCESS);
    SHString text;
    ASSERT_EQ(doc.GetDataBlockXML(0u, text), NX_SUCCESS);
    CSDataBlockParser block;
    ASSERT_EQ(block.Parse(text.GetString(), false), NX_SUCCESS);
    EXPECT_EQ(Latencies(block), (std::vector<int>{10, 12, 15, 11, 30, 9}));
    EXPECT_EQ(Losses(block, 6), (std::vector<float>{0.5f, 0.0f, 1.25f, 0.0f, 12.75f, 0.0f}));

    // Changed and put back, then read again from the document.
    ASSERT_EQ(block.AddSamples(44, 4.5f), NX_SUCCESS);
    ASSERT_EQ(doc.ReplaceDataBlock("Morning", Xml(block).c_str()), NX_SUCCESS);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);
    ASSERT_EQ(doc.GetDataBlockXML("Morning", text), NX_SUCCESS);
    CSDataBlockParser again;
    ASSERT_EQ(again.Parse(text.GetString(), false), NX_SUCCESS);
    EXPECT_EQ(Latencies(again).back(), 44);
}

TEST(DataBlockDocument, ScenarioBuiltFromElementParsersValidates) {
    CSEndPointParser client, server;
    ASSERT_EQ(client.CreateNew("EP_C", "CLIENT"), NX_SUCCESS);
    ASSERT_EQ(client.AddHostID("10.0.0.2"), NX_SUCCESS);
    ASSERT_EQ(client.AddIncludeIPRange("10.0.0.0", "10.0.0.255", 6, 0), NX_SUCCESS);
    ASSERT_EQ(server.CreateNew("EP_S", "SERVER"), NX_SUCCESS);
    ASSERT_EQ(server.AddExcludeIPRange("192.0.2.1", "192.0.2.1", 17, 53), NX_SUCCESS);
    CSGatewayParser gateway;
    ASSERT_EQ(gateway.CreateNew("GW", "Entry"), NX_SUCCESS);
    ASSERT_EQ(gateway.AddNic("NIC_1", "LAN", "100000", "0", "100", "100"), NX_SUCCESS);
    ASSERT_EQ(gateway.SetInOutQueue("NIC_1", "64", "PACKETS", false), NX_SUCCESS);
    ASSERT_EQ(gateway.SetQueuePolicyRED("NIC_1", false, "10", "50"), NX_SUCCESS);
    ASSERT_EQ(gateway.SetRoutingRules("EP_S", "WAN"), NX_SUCCESS);
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("WAN", "Link"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRecordedLatency("Morning", "LOOP", "100"), NX_SUCCESS);
    ASSERT_EQ(wan.SetRecordedPacketLoss("100"), NX_SUCCESS);
    ASSERT_EQ(wan.SetCongestion("60", "1", "3", "500", "20"), NX_SUCCESS);
    CSDataBlockParser block;
    ASSERT_EQ(block.CreateNew("DB", "Morning", "100"), NX_SUCCESS);
    for (unsigned i = 0; i < 50; ++i)
        ASSERT_EQ(block.AddSamples(20 + i, i % 7 == 0 ? 1.5f : 0.0f), NX_SUCCESS);

    CSTopovelDocParser doc;
    doc.SetTopovelDtdPath(fendrel_test::DtdDir().c_str());
    ASSERT_EQ(doc.CreateNew("SCN", "Built"), NX_SUCCESS);
    for (CSTopovelBaseParser* object :
         std::initializer_list<CSTopovelBaseParser*>{&client, &gateway, &wan, &server})
        ASSERT_EQ(doc.AddNetObject(Xml(*object).c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.LinkNetObjects("EP_C", "GW", false), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(block), NX_SUCCESS);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    // The WAN section read back out of the document names the block.
    SHString text, name, mode, scale;
    ASSERT_EQ(doc.GetNetObjectXML("WAN", text), NX_SUCCESS);
    CSWanNuvexParser back;
    ASSERT_EQ(back.Parse(text.GetString(), false), NX_SUCCESS);
    ASSERT_EQ(back.GetRecordedLatency(name, mode, scale), NX_SUCCESS);
    ASSERT_EQ(doc.GetDataBlockXML(Text(name).c_str(), text), NX_SUCCESS);
    CSDataBlockParser samples;
    ASSERT_EQ(samples.Parse(text.GetString(), false), NX_SUCCESS);
    EXPECT_EQ(Latencies(samples).size(), 50u);
}

TEST(DataBlockFaults, UnwritableSamplesNullArraysAndNoDocument) {
    CSDataBlockParser block;
    unsigned count = 0;
    SHString value;
    EXPECT_EQ(block.AddSamples(1, 1.0f), NX_FAILURE);
    EXPECT_EQ(block.AddSample("1", SAMPLE_LATENCY), NX_FAILURE);
    EXPECT_EQ(block.GetSamplesCount(count), NX_FAILURE);
    EXPECT_EQ(block.SetSampleInterval("1"), NX_FAILURE);
    EXPECT_EQ(block.GetDataBlocDoc(), nullptr);

    ASSERT_EQ(block.CreateNew("D", "N", "10"), NX_SUCCESS);
    EXPECT_NE(block.GetDataBlocDoc(), nullptr);
    EXPECT_EQ(block.AddSample(nullptr, SAMPLE_LATENCY), NX_FAILURE);
    EXPECT_EQ(block.SetSampleInterval(nullptr), NX_FAILURE);
    ASSERT_EQ(block.AddSample("abc", SAMPLE_LATENCY), NX_SUCCESS); // not a number: 0
    ASSERT_EQ(block.AddSample("7", SAMPLE_LATENCY), NX_SUCCESS);
    ASSERT_EQ(block.AddSample("0.25", SAMPLE_LOSS), NX_SUCCESS);
    EXPECT_EQ(Latencies(block), (std::vector<int>{0, 7}));
    EXPECT_EQ(block.GetSampleLatencyArray(2, nullptr), NX_FAILURE);
    EXPECT_EQ(block.GetSampleLossArray(1, nullptr), NX_FAILURE);
    // Two latency samples and one loss sample cannot be written: no success without them.
    EXPECT_EQ(block.GetXML(value), NX_FAILURE);
    ASSERT_EQ(block.AddSample("0.5", SAMPLE_LOSS), NX_SUCCESS);
    ASSERT_EQ(block.GetXML(value), NX_SUCCESS);
    EXPECT_NE(Text(value).find("<LAT>0</LAT><LOS>0.25</LOS><LAT>7</LAT><LOS>0.50</LOS>"),
              std::string::npos);

    // Samples that would not read back are no success either: a negative latency, a
    // negative or too large loss. An unsigned latency beyond int is the largest one.
    using Add = NX_RC (*)(CSDataBlockParser&);
    for (Add add : {+[](CSDataBlockParser& b) {
                        b.AddSample("-5", SAMPLE_LATENCY);
                        return b.AddSample("1", SAMPLE_LOSS);
                    },
                    +[](CSDataBlockParser& b) { return b.AddSamples(1, -0.001f); },
                    +[](CSDataBlockParser& b) { return b.AddSamples(1, 1e36f); },
                    +[](CSDataBlockParser& b) {
                        b.AddSample("1", SAMPLE_LATENCY);
                        return b.AddSample("1e300", SAMPLE_LOSS);
                    }}) {
        CSDataBlockParser bad(block);
        ASSERT_EQ(add(bad), NX_SUCCESS);
        EXPECT_EQ(bad.GetXML(value), NX_FAILURE);
    }
    {
        CSDataBlockParser big(block);
        ASSERT_EQ(big.AddSamples(3000000000u, 9.99e35f), NX_SUCCESS);
        ASSERT_EQ(big.GetSampleLatency(2, value), NX_SUCCESS);
        EXPECT_STREQ(value.GetString(), "2147483647");
        ASSERT_EQ(big.GetXML(value), NX_SUCCESS);
        CSDataBlockParser again;
        ASSERT_EQ(again.Parse(value.GetString(), false), NX_SUCCESS);
        EXPECT_EQ(Latencies(again), (std::vector<int>{0, 7, INT_MAX}));
    }
    // A loss too long to write back is not read either.
    CSDataBlockParser parsed;
    EXPECT_EQ(parsed.Parse("<DATA_BLOCK><LATENCY_AND_LOSS_DATA><LAT>1</LAT><LOS>"
                           "1000000000000000000000000000000000000</LOS>"
                           "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>",
                           false),
              NX_FAILURE);

    // Copies share the document and carry their own samples.
    CSDataBlockParser copy(block);
    ASSERT_EQ(copy.AddSamples(9, 0.0f), NX_SUCCESS);
    EXPECT_EQ(Latencies(block).size(), 2u);
    EXPECT_EQ(Latencies(copy).size(), 3u);
}

TEST(DataBlockFaults, SamplesWithNoElementToHoldThemAreNoSuccess) {
    CSDataBlockParser block;
    ASSERT_EQ(block.CreateNew("D", "N"), NX_SUCCESS); // no sample interval
    SHString value;
    ASSERT_EQ(block.GetXML(value), NX_SUCCESS); // no samples: nothing is lost
    ASSERT_EQ(block.AddSamples(10, 0.5f), NX_SUCCESS);
    EXPECT_EQ(block.GetXML(value), NX_FAILURE);
    CSDataBlockParser latencyOnly;
    ASSERT_EQ(latencyOnly.CreateNew("D", "N"), NX_SUCCESS);
    ASSERT_EQ(latencyOnly.AddSample("10", SAMPLE_LATENCY), NX_SUCCESS);
    EXPECT_EQ(latencyOnly.GetXML(value), NX_FAILURE);
    // Once the element exists the samples are written.
    ASSERT_EQ(block.SetSampleInterval("100"), NX_SUCCESS);
    ASSERT_EQ(block.GetXML(value), NX_SUCCESS);
    EXPECT_NE(Text(value).find("<LAT>10</LAT><LOS>0.50</LOS></LATENCY_AND_LOSS_DATA>"),
              std::string::npos)
        << Text(value);
}
