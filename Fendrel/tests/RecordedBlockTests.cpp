// Recorded-block map: sample bodies cut out before parsing and put back byte for byte.
#include "TestParsers.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using fendrel_test::CTestDocParser;
using fendrel_test::DataFile;
using fendrel_test::DtdDir;
using fendrel_test::Text;
using fendrel_test::Xml;

namespace {

std::string Block(const char* name, const std::string& body) {
    return std::string("<DATA_BLOCK NAME=\"") + name +
           "\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"10\">" + body +
           "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>";
}

class RecordedBlockTest : public ::testing::Test {
protected:
    void SetUp() override { doc.SetTopovelDtdPath(DtdDir().c_str()); }

    long Cut(const std::string& text, std::string& out) {
        char* cut = nullptr;
        long length = doc.InitRecordedBlocksMap(text.c_str(), &cut);
        out = cut ? std::string(cut, static_cast<size_t>(length)) : std::string();
        std::free(cut);
        return length;
    }

    CTestDocParser doc;
    SHString s;
};

} // namespace

TEST_F(RecordedBlockTest, RecordedDocumentRoundTripsByteForByte) {
    const std::string text = DataFile("recorded_data.xml");
    ASSERT_EQ(doc.Parse(text.c_str(), true), NX_SUCCESS);
    // Two non-empty bodies; the empty element stores nothing. The first body stands
    // behind an attribute value that names the element: only the tag is matched.
    EXPECT_NE(doc.Block("<!--LABLE10001-->"), "");
    EXPECT_EQ(doc.Block("<!--LABLE10002-->"),
              "<LAT>40</LAT><LAT>41</LAT><LAT>39</LAT><LAT>45</LAT>");
    EXPECT_EQ(doc.Block("<!--LABLE10003-->"), "");
    // GetXML ends without the writer's closing line feed.
    EXPECT_EQ(Xml(doc), text);
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    unsigned count = 0;
    EXPECT_EQ(doc.GetDataBlocksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(doc.GetDataBlockXML("Evening", s), NX_SUCCESS);
    EXPECT_EQ(
        Text(s),
        "<DATA_BLOCK ID=\"DB_2\" NAME=\"Evening\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"50\">"
        "<LAT>40</LAT><LAT>41</LAT><LAT>39</LAT><LAT>45</LAT></LATENCY_AND_LOSS_DATA></"
        "DATA_BLOCK>");
    ASSERT_EQ(doc.GetDataBlockXML(2u, s), NX_SUCCESS);
    EXPECT_EQ(
        Text(s),
        "<DATA_BLOCK ID=\"DB_3\" NAME=\"Empty\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"10\"/>"
        "</DATA_BLOCK>\n");
    EXPECT_EQ(doc.GetDataBlockXML(3u, s), NX_FAILURE);
    EXPECT_EQ(doc.GetDataBlockXML("Noon", s), NX_FAILURE);
}

TEST_F(RecordedBlockTest, DocumentWithoutRecordedDataKeepsTheWritersText) {
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    std::string text = Xml(doc);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    std::string cut;
    EXPECT_EQ(Cut(text, cut), 0);
}

TEST_F(RecordedBlockTest, LabelsCountOnAcrossNewDocuments) {
    const std::string two = "<TOPOVEL>" + Block("a", "<LAT>1</LAT>") + Block("b", "<LAT>2</LAT>") +
                            Block("c", "") + "</TOPOVEL>";
    std::string cut;
    ASSERT_GT(Cut(two, cut), 0);
    EXPECT_EQ(cut, "<TOPOVEL>" + Block("a", "<!--LABLE10001-->") + Block("b", "<!--LABLE10002-->") +
                       Block("c", "") + "</TOPOVEL>");
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    EXPECT_EQ(doc.Block("<!--LABLE10001-->"), "");
    ASSERT_EQ(doc.AddDataBlock(Block("d", "<LAT>3</LAT>").c_str()), NX_SUCCESS);
    EXPECT_EQ(doc.Block("<!--LABLE10003-->"), "<LAT>3</LAT>");
    // Self-closing elements and a text without the element store nothing.
    EXPECT_EQ(Cut("<A><LATENCY_AND_LOSS_DATA/></A>", cut), 31);
    EXPECT_EQ(cut, "<A><LATENCY_AND_LOSS_DATA/></A>");
    EXPECT_EQ(Cut("<A>LATENCY_AND_LOSS_DATA</A>", cut), 0);
    EXPECT_EQ(doc.Block("<!--LABLE10004-->"), "");
}

TEST_F(RecordedBlockTest, MalformedRecordedDataFailsTheCut) {
    std::string cut;
    EXPECT_EQ(Cut("<A><LATENCY_AND_LOSS_DATA><LAT>1</LAT></A>", cut), -1);
    EXPECT_EQ(Cut("<A><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL=\"1\"", cut), -1);
    // Parse then reads the caller's text as it stands.
    ASSERT_EQ(doc.Parse("<TOPOVEL><LATENCY_AND_LOSS_DATA><LAT>1</LAT></LATENCY_AND_LOSS_DATA>"
                        "<LATENCY_AND_LOSS_DATA><LAT>2</LAT></TOPOVEL>",
                        false),
              NX_FAILURE);
    EXPECT_TRUE(doc.IsNULL());
    EXPECT_EQ(doc.Block("<!--LABLE10001-->"), "");
}

TEST_F(RecordedBlockTest, FailedFragmentDropsOnlyItsOwnBlocks) {
    ASSERT_EQ(doc.Parse(DataFile("recorded_data.xml").c_str(), true), NX_SUCCESS);
    const std::string before = Xml(doc);
    // First body fine, second without closing tag: the cut fails after storing one.
    std::string broken = "<DATA_BLOCK NAME=\"x\"><LATENCY_AND_LOSS_DATA><LAT>7</LAT>"
                         "</LATENCY_AND_LOSS_DATA><LATENCY_AND_LOSS_DATA><LAT>8</LAT></DATA_BLOCK>";
    EXPECT_EQ(doc.AddDataBlock(broken.c_str()), NX_FAILURE);
    EXPECT_EQ(doc.Block("<!--LABLE10003-->"), "");
    // A fragment that cuts but does not parse.
    EXPECT_EQ(
        doc.AddDataBlock("<DATA_BLOCK><LATENCY_AND_LOSS_DATA><LAT>9</LAT></LATENCY_AND_LOSS_DATA>"),
        NX_FAILURE);
    EXPECT_EQ(doc.ReplaceDataBlock("Morning", broken.c_str()), NX_FAILURE);
    EXPECT_EQ(doc.ReplaceDataBlock("Noon", Block("Noon", "<LAT>5</LAT>").c_str()), NX_FAILURE);
    EXPECT_EQ(doc.Block("<!--LABLE10004-->"), "");
    EXPECT_EQ(doc.Block("<!--LABLE10007-->"), "");
    EXPECT_EQ(Xml(doc), before);
}

TEST_F(RecordedBlockTest, BlocksAreAddedReplacedAndDeleted) {
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    EXPECT_EQ(doc.AddDataBlock("not xml"), NX_FAILURE);
    ASSERT_EQ(doc.AddDataBlock(Block("a", "\n<LAT>1</LAT><LOS>0.50</LOS>\n").c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(Block("b", "<LAT>2</LAT>").c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.ReplaceDataBlock("a", Block("a", "<LAT>3</LAT>").c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.GetDataBlockXML("a", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("a", "<LAT>3</LAT>"));
    ASSERT_EQ(doc.GetDataBlockXML(0u, s), NX_SUCCESS); // replaced in place
    EXPECT_EQ(Text(s), Block("a", "<LAT>3</LAT>"));
    EXPECT_EQ(doc.Validate(), NX_SUCCESS);

    ASSERT_EQ(doc.DeleteDataBlock("b"), NX_SUCCESS);
    EXPECT_EQ(doc.Block("<!--LABLE10002-->"), "");
    EXPECT_EQ(doc.DeleteDataBlock("b"), NX_FAILURE);
    ASSERT_EQ(doc.DeleteDataBlock(0u), NX_SUCCESS);
    EXPECT_EQ(doc.Block("<!--LABLE10003-->"), "");
    EXPECT_EQ(doc.DeleteDataBlock(0u), NX_FAILURE);
    unsigned count = 9;
    EXPECT_EQ(doc.GetDataBlocksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);

    // A block parser's text goes in the same way.
    CTestDocParser source;
    ASSERT_EQ(source.Parse(Block("c", "<LAT>4</LAT>").c_str(), false), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(source), NX_SUCCESS);
    ASSERT_EQ(doc.GetDataBlockXML("c", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("c", "<LAT>4</LAT>"));
    EXPECT_EQ(doc.RemoveAllRecordedData(), NX_SUCCESS);
    EXPECT_EQ(doc.GetDataBlocksCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(doc.Block("<!--LABLE10004-->"), "");
    CTestDocParser empty;
    EXPECT_EQ(empty.RemoveAllRecordedData(), NX_FAILURE);
    EXPECT_EQ(empty.AddDataBlock(source), NX_FAILURE);
}

TEST_F(RecordedBlockTest, CopiesShareTheMapAndTheLabelCounter) {
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    CTestDocParser copy(doc);
    ASSERT_EQ(doc.AddDataBlock(Block("a", "<LAT>1</LAT>").c_str()), NX_SUCCESS);
    ASSERT_EQ(copy.AddDataBlock(Block("b", "<LAT>2</LAT>").c_str()), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), Xml(copy));
    ASSERT_EQ(doc.GetDataBlockXML("a", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("a", "<LAT>1</LAT>"));
    ASSERT_EQ(copy.GetDataBlockXML("b", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("b", "<LAT>2</LAT>"));
    // A new document for one of them leaves the other's blocks alone.
    ASSERT_EQ(copy.CreateNew("J", "M"), NX_SUCCESS);
    ASSERT_EQ(doc.GetDataBlockXML("b", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("b", "<LAT>2</LAT>"));
}

TEST_F(RecordedBlockTest, RestoreHandlesUnknownLabelsAndRemoval) {
    std::string label;
    ASSERT_TRUE(doc.AddToBlockMap("<LAT>1</LAT>", 12, label));
    EXPECT_EQ(label, "<!--LABLE10001-->");
    EXPECT_FALSE(doc.AddToBlockMap("x", 0, label));
    EXPECT_FALSE(doc.AddToBlockMap(nullptr, 3, label));
    char* out = nullptr;
    long length =
        doc.RestoreRecordedBlocksFromMap("<A><!--LABLE10001--><!--LABLE99999--></A>\n", &out);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(out, length), "<A><LAT>1</LAT></A>");
    std::free(out);
    EXPECT_EQ(doc.RestoreRecordedBlocksFromMap("<A/>\n", &out), 0);
    EXPECT_EQ(doc.RestoreRecordedBlocksFromMap(nullptr, &out), -1);
    doc.RemoveRecDataByNodeXMLLable("<A><!--LABLE10001--></A>");
    EXPECT_EQ(doc.Block("<!--LABLE10001-->"), "");
    EXPECT_EQ(doc.RestoreRecordedBlocksFromMap("<A><!--LABLE10001--></A>\n", &out), 0);
}

TEST_F(RecordedBlockTest, TwoHundredThousandSamplesPassThroughUnchanged) {
    std::string body;
    body.reserve(200000 * 26);
    for (int i = 0; i < 200000; ++i)
        body += "<LAT>" + std::to_string(i % 997) + "</LAT><LOS>" + std::to_string(i % 100) +
                ".25</LOS>\n";
    const std::string text = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
                             "<TOPOVEL ID=\"BIG\"><NET_OBJECTS/><LINKS/><RECORDING_DATA>" +
                             Block("big", body) + "</RECORDING_DATA></TOPOVEL>\n";
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(doc.Parse(text.c_str(), true), NX_SUCCESS);
    std::string out = Xml(doc);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(out == text) << "restored text differs";
    EXPECT_EQ(doc.Block("<!--LABLE10001-->").size(), body.size());
    // About a second is the aim; the bound is loose for shared, instrumented builds.
    EXPECT_LT(seconds, 10.0);
}

TEST_F(RecordedBlockTest, CommentsThatReadLikeLabelsNeverReceiveSamples) {
    // The document's own comment carries the number the first label would get: the
    // samples must come back in their block only, not in place of that comment (which,
    // as a label unknown to the map, is written as nothing).
    const std::string text =
        "<TOPOVEL><NET_OBJECTS><!--LABLE10001--></NET_OBJECTS><RECORDING_DATA>" +
        Block("a", "<LAT>7</LAT>") + "</RECORDING_DATA></TOPOVEL>\n";
    ASSERT_EQ(doc.Parse(text.c_str(), false), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), "<TOPOVEL><NET_OBJECTS></NET_OBJECTS><RECORDING_DATA>" +
                            Block("a", "<LAT>7</LAT>") + "</RECORDING_DATA></TOPOVEL>\n");
    EXPECT_EQ(doc.Block("<!--LABLE10002-->"), "<LAT>7</LAT>");
    // A fragment's comment likewise.
    ASSERT_EQ(doc.AddDataBlock("<DATA_BLOCK NAME=\"b\"><!--LABLE10009--><LATENCY_AND_LOSS_DATA>"
                               "<LAT>8</LAT></LATENCY_AND_LOSS_DATA></DATA_BLOCK>"),
              NX_SUCCESS);
    EXPECT_EQ(doc.Block("<!--LABLE10010-->"), "<LAT>8</LAT>");
    SHString block;
    ASSERT_EQ(doc.GetDataBlockXML("b", block), NX_SUCCESS);
    EXPECT_STREQ(block.GetString(), "<DATA_BLOCK NAME=\"b\"><LATENCY_AND_LOSS_DATA><LAT>8</LAT>"
                                    "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>");
    // A number too large for the counter fails the cut instead of wrapping around: the
    // samples then stay in the document and come out unchanged.
    const std::string huge = "<TOPOVEL><!--LABLE99999999999999999999999-->" +
                             Block("c", "<LAT>9</LAT>") + "</TOPOVEL>\n";
    ASSERT_EQ(doc.Parse(huge.c_str(), false), NX_SUCCESS);
    EXPECT_EQ(Xml(doc), huge + "\n");
}

TEST_F(RecordedBlockTest, FragmentsCannotTakeTheSamplesOfAStoredBlock) {
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(Block("a", "<LAT>1</LAT>").c_str()), NX_SUCCESS);
    const std::string before = Xml(doc);
    // A comment that reads like the stored block's label, anywhere in a fragment.
    EXPECT_EQ(doc.AddNetObject("<ENDPOINT ID=\"E\"><!--LABLE10001--></ENDPOINT>"), NX_FAILURE);
    EXPECT_EQ(doc.AddNetObject("<ENDPOINT ID=\"E\"><![CDATA[<!--LABLE10001-->]]></ENDPOINT>"),
              NX_FAILURE);
    ASSERT_EQ(doc.AddNetObject("<ENDPOINT ID=\"F\"/>"), NX_SUCCESS);
    EXPECT_EQ(doc.ReplaceNetObject("F", "<ENDPOINT ID=\"F\"><!--LABLE10001--></ENDPOINT>"),
              NX_FAILURE);
    EXPECT_EQ(doc.AddDataBlock(("<DATA_BLOCK NAME=\"b\"><!--LABLE10001-->" +
                                Block("c", "<LAT>2</LAT>").substr(22))
                                   .c_str()),
              NX_FAILURE);
    EXPECT_EQ(doc.ReplaceDataBlock("a", Block("a", "<LAT>3</LAT><!--LABLE10001-->").c_str()),
              NX_FAILURE);
    EXPECT_EQ(doc.Block("<!--LABLE10001-->"), "<LAT>1</LAT>");
    std::string text = Xml(doc);
    EXPECT_EQ(text.find("<LAT>1</LAT>"), text.rfind("<LAT>1</LAT>")) << text;

    // A label comment of a number not given out yet: later labels pass it by, so the
    // comment never receives a block.
    ASSERT_EQ(doc.AddNetObject("<ENDPOINT ID=\"G\"><!--LABLE10003--></ENDPOINT>"), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(Block("d", "<LAT>4</LAT>").c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(Block("e", "<LAT>5</LAT>").c_str()), NX_SUCCESS);
    text = Xml(doc);
    EXPECT_NE(text.find("<ENDPOINT ID=\"G\"></ENDPOINT>"), std::string::npos) << text;
    ASSERT_EQ(doc.GetDataBlockXML("e", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), Block("e", "<LAT>5</LAT>"));
}

TEST_F(RecordedBlockTest, BodiesBeyondAsciiFollowTheDocumentsEncoding) {
    // A Latin-1 document whose body holds a Latin-1 byte (in a comment).
    const std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<TOPOVEL>"
        "<RECORDING_DATA>" +
        Block("Z\xfcrich", "<LAT>1</LAT><!-- gemessen in Z\xfcrich --><LAT>2</LAT>") +
        Block("plain", "<LAT>3</LAT>") + "</RECORDING_DATA></TOPOVEL>";
    ASSERT_EQ(doc.Parse(latin1.c_str(), false), NX_SUCCESS);
    // The written document has no declaration, so it is UTF-8 throughout.
    std::string text = Xml(doc);
    EXPECT_EQ(text.find('\xfc'), std::string::npos) << text;
    EXPECT_NE(text.find("<!-- gemessen in Z\xc3\xbcrich --><LAT>2</LAT>"), std::string::npos)
        << text;
    EXPECT_NE(text.find("<LAT>3</LAT>"), std::string::npos);
    CTestDocParser again;
    ASSERT_EQ(again.Parse(text.c_str(), false), NX_SUCCESS);
    ASSERT_EQ(again.GetDataBlockXML("Z\xc3\xbcrich", s), NX_SUCCESS);
    EXPECT_EQ(Text(s), "<DATA_BLOCK NAME=\"Z&#252;rich\"><LATENCY_AND_LOSS_DATA SAMPLE_INTERVAL="
                       "\"10\"><LAT>1</LAT><!-- gemessen in Z\xc3\xbcrich --><LAT>2</LAT>"
                       "</LATENCY_AND_LOSS_DATA></DATA_BLOCK>\n");

    // A new document declares iso-8859-1: a UTF-8 body added to it is written in
    // Latin-1.
    ASSERT_EQ(doc.CreateNew("I", "N"), NX_SUCCESS);
    ASSERT_EQ(doc.AddDataBlock(Block("u", "<LAT>1</LAT><!-- caf\xc3\xa9 -->").c_str()), NX_SUCCESS);
    text = Xml(doc);
    EXPECT_NE(text.find("<!-- caf\xe9 -->"), std::string::npos) << text;
    ASSERT_EQ(again.Parse(text.c_str(), false), NX_SUCCESS);
    ASSERT_EQ(again.GetDataBlockXML("u", s), NX_SUCCESS);
    EXPECT_NE(Text(s).find("<!-- caf\xc3\xa9 -->"), std::string::npos) << Text(s);
}
