// Element parser base: SHString, platform start-up, shared documents, Parse/GetXML,
// the protected helpers and the trace records.
#include "Fendrel/FendrelUtils.h"
#include "Fendrel/SDataBlockParser.h"
#include "Fendrel/SNetBuildErrorHandler.h"
#include "Fendrel/SWanNuvexParser.h"
#include "Morrane/STrace.h"
#include "TestParsers.h"
#include "TraceCapture.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using fendrel_test::CTestElementParser;
using fendrel_test::Text;
using fendrel_test::Xml;
using testsupport::TempDir;

namespace {

// A string whose allocation always fails.
class CFailingString : public SHString {
public:
    void Allocate(size_t) override { SHString::Allocate(0); }
};

} // namespace

TEST(SHStringTest, OwnsCopiesAndHandsOver) {
    SHString empty(nullptr);
    EXPECT_EQ(empty.GetString(), nullptr);
    SHString a("abc");
    SHString b(a);
    EXPECT_STREQ(b.GetString(), "abc");
    EXPECT_NE(a.GetBuffer(), b.GetBuffer());
    b = empty;
    EXPECT_EQ(b.GetString(), nullptr);
    b = a;
    b = b;
    EXPECT_STREQ(b.GetString(), "abc");

    char* detached = a.Detach();
    EXPECT_EQ(a.GetString(), nullptr);
    a.Attach(detached);
    a.Attach(a.GetBuffer()); // the same pointer is kept, not freed
    EXPECT_STREQ(a.GetString(), "abc");
    a.Allocate(4);
    EXPECT_EQ(std::memcmp(a.GetBuffer(), "\0\0\0\0", 4), 0);
}

TEST(SHStringTest, AssignFromItsOwnBufferAndFromNull) {
    SHString s("hello world");
    s.Assign(s.GetString());
    EXPECT_STREQ(s.GetString(), "hello world");
    s.Assign(s.GetString() + 6);
    EXPECT_STREQ(s.GetString(), "world");
    s.Assign(nullptr);
    EXPECT_EQ(s.GetString(), nullptr);
    CFailingString failing;
    failing.Assign("text");
    EXPECT_EQ(failing.GetString(), nullptr);
}

TEST(XmlPlatform, InitialisesOnceAndTerminatesOnce) {
    EXPECT_TRUE(XMLInitModule());
    EXPECT_TRUE(XMLInitModule());
    EXPECT_TRUE(XMLTerminateModule());
    EXPECT_FALSE(XMLTerminateModule());
    EXPECT_TRUE(XMLInitModule());
}

TEST(BaseParser, CreateNewAndRootAttributes) {
    CTestElementParser p;
    SHString s;
    EXPECT_TRUE(p.IsNULL());
    EXPECT_EQ(p.GetID(s), NX_FAILURE);
    EXPECT_EQ(p.SetName("x"), NX_FAILURE);
    ASSERT_EQ(p.CreateNew(nullptr, "Name"), NX_SUCCESS);
    EXPECT_FALSE(p.IsNULL());
    s.Assign("stale");
    EXPECT_EQ(p.GetID(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "");
    EXPECT_EQ(p.SetID("E_1"), NX_SUCCESS);
    EXPECT_EQ(p.GetID(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "E_1");
    EXPECT_EQ(p.GetDocAttribute("NAME", s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "Name");
    EXPECT_EQ(Xml(p), "<TEST_ELEMENT ID=\"E_1\" NAME=\"Name\"/>\n\n");
}

TEST(BaseParser, HelpersKeepAccessorsShort) {
    CTestElementParser p;
    SHString min("keep"), max("keep");
    EXPECT_EQ(p.SetLimits("1", "2"), NX_FAILURE);
    ASSERT_EQ(p.CreateNew("E", "N"), NX_SUCCESS);
    EXPECT_EQ(p.GetLimits(min, max), NX_FAILURE);
    EXPECT_STREQ(min.GetString(), "keep");
    EXPECT_EQ(p.SetLimits("1", nullptr), NX_SUCCESS);
    EXPECT_EQ(p.SetLimits("5", "9"), NX_SUCCESS);
    EXPECT_EQ(p.GetLimits(min, max), NX_SUCCESS);
    EXPECT_STREQ(min.GetString(), "5");
    EXPECT_STREQ(max.GetString(), "9");
    EXPECT_EQ(Xml(p),
              "<TEST_ELEMENT ID=\"E\" NAME=\"N\"><LIMITS MAX=\"9\" MIN=\"5\"/></TEST_ELEMENT>\n\n");
}

TEST(BaseParser, FailedParseLeavesNoDocument) {
    CTestElementParser p;
    ASSERT_EQ(p.Parse("<TEST_ELEMENT ID=\"1\"/>", false), NX_SUCCESS);
    EXPECT_EQ(p.Parse("<TEST_ELEMENT><open></TEST_ELEMENT>", false), NX_FAILURE);
    EXPECT_TRUE(p.IsNULL());
    EXPECT_EQ(p.Parse(nullptr, true), NX_FAILURE);
    EXPECT_TRUE(p.IsNULL());
    SHString s;
    EXPECT_EQ(p.GetXML(s), NX_FAILURE);
}

TEST(BaseParser, GetXmlReportsAStringWithoutBuffer) {
    CTestElementParser p;
    ASSERT_EQ(p.CreateNew("E", "N"), NX_SUCCESS);
    CFailingString s;
    EXPECT_EQ(p.GetXML(s), NX_NO_BUFFER);
}

TEST(BaseParser, CopiesShareTheDocumentUntilOneReplacesIt) {
    auto* original = new CTestElementParser;
    ASSERT_EQ(original->CreateNew("E", "N"), NX_SUCCESS);
    CTestElementParser copy(*original);
    CTestElementParser assigned;
    assigned = copy;
    EXPECT_EQ(copy.SetName("Changed"), NX_SUCCESS);
    SHString s;
    EXPECT_EQ(original->GetName(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "Changed");
    delete original;
    EXPECT_EQ(assigned.GetName(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "Changed");
    // Re-parsing one object leaves the other with the shared document.
    ASSERT_EQ(copy.Parse("<OTHER ID=\"2\"/>", false), NX_SUCCESS);
    EXPECT_EQ(assigned.GetID(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "E");
    EXPECT_EQ(copy.GetID(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "2");
}

TEST(BaseParser, DtdPathIsCopiedAtConstruction) {
    SetDtdPath("/first");
    CTestElementParser early;
    SetDtdPath("/second");
    CTestElementParser late;
    EXPECT_EQ(early.DtdPath(), "/first");
    EXPECT_EQ(late.DtdPath(), "/second");
    early.SetTopovelDtdPath("/third");
    EXPECT_EQ(early.DtdPath(), "/third");
    SetDtdPath(nullptr);
}

TEST(BaseParser, ValidationUsesTheObjectsDtdFolder) {
    const std::string invalid = fendrel_test::DataFile("invalid.xml");
    CTestElementParser p;
    p.SetTopovelDtdPath(fendrel_test::DtdDir().c_str());
    EXPECT_EQ(p.Parse(invalid.c_str(), true), NX_FAILURE);
    EXPECT_EQ(p.Parse(invalid.c_str(), false), NX_SUCCESS);
    EXPECT_EQ(p.Parse(fendrel_test::DataFile("basic_topology.xml").c_str(), true), NX_SUCCESS);
}

TEST(BaseParser, UniqueElementIsTheFirstInDocumentOrder) {
    CTestElementParser p;
    xercesc::DOMElement* found = nullptr;
    EXPECT_FALSE(p.bGetUniqueElement("A", &found));
    ASSERT_EQ(p.Parse("<R><X><A N=\"1\"/></X><A N=\"2\"/></R>", false), NX_SUCCESS);
    ASSERT_TRUE(p.bGetUniqueElement("A", &found));
    EXPECT_EQ(orvane::xml::GetAttr(found, "N"), "1");
    EXPECT_FALSE(p.bGetUniqueElement("B", &found));
}

TEST(ErrorHandler, KeepsTheLastProblemWithItsPlace) {
    SNetBuildErrorHandler handler;
    orvane::xml::XmlDocument doc;
    EXPECT_FALSE(orvane::xml::ParseFromMemory(fendrel_test::DataFile("invalid.xml").c_str(), doc,
                                              true, &handler, fendrel_test::DtdDir().c_str()));
    std::string log = handler.GetErrLog();
    EXPECT_NE(log.find(", at line: 2, column: "), std::string::npos) << log;
    handler.resetErrors();
    EXPECT_EQ(handler.GetErrLog(), "");
}

TEST(BaseParserTrace, MethodsTraceEntryExitAndFailures) {
    const std::string text = fendrel_test::Traced([] {
        CTestElementParser p;
        EXPECT_EQ(p.Parse("<A>", false), NX_FAILURE);
        SHString s;
        EXPECT_EQ(p.GetXML(s), NX_FAILURE);
        EXPECT_EQ(p.GetDocAttribute("ID", s), NX_FAILURE);
    });
    EXPECT_NE(text.find("Entered Method\r\n CSTopovelBaseParser *::Parse() STopovelBaseParser"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[E]\tParse Failed:\r\n"), std::string::npos);
    EXPECT_NE(text.find("Exited Method\r\n CSTopovelBaseParser *::Parse()"), std::string::npos);
    EXPECT_NE(text.find("[E]\tDocumnet not exist!"), std::string::npos);
    EXPECT_NE(text.find("[E]\tNo Document created .\r\n CSTopovelBaseParser::GetDocAttribute()"),
              std::string::npos);
}

TEST(SetterText, TextThatCannotStandInXmlIsRefused) {
    // Control characters other than tab, line feed and carriage return, and the two
    // non-characters U+FFFE and U+FFFF.
    const char* refused[] = {"a\x01z",    "\x1f",         "tab\tand\x0b",
                             "x\x7f\x0c", "\xef\xbf\xbe", "\xef\xbf\xbf"};
    CSTopovelDocParser doc;
    ASSERT_EQ(doc.CreateNew("S", "N"), NX_SUCCESS);
    CTestElementParser element;
    ASSERT_EQ(element.CreateNew("E", "N"), NX_SUCCESS);
    CSDataBlockParser block;
    ASSERT_EQ(block.CreateNew("B", "N", "10"), NX_SUCCESS);
    CSWanNuvexParser wan;
    ASSERT_EQ(wan.CreateNew("W", "N"), NX_SUCCESS);
    const std::string docText = Xml(doc), elementText = Xml(element), blockText = Xml(block);
    for (const char* text : refused) {
        EXPECT_EQ(doc.SetDescription(text), NX_FAILURE) << text;
        EXPECT_EQ(doc.SetName(text), NX_FAILURE);
        EXPECT_EQ(doc.SetUserDataBlock(text, "name"), NX_FAILURE);
        EXPECT_EQ(doc.SetUserDataBlock("value", text), NX_FAILURE);
        EXPECT_EQ(element.SetHead(text), NX_FAILURE);
        _RECORDING_DETAILS details;
        details.RECORDING_NAME.Assign("night");
        details.DESCRIPTION.Assign(text);
        EXPECT_EQ(block.SetRecordingDetails(details), NX_FAILURE);
        EXPECT_EQ(wan.SetDescription(text), NX_FAILURE);
        CSTopovelDocParser other;
        EXPECT_EQ(other.CreateNew(text, "N"), NX_FAILURE);
    }
    // Nothing was written, not even a part: the documents are as they were.
    EXPECT_EQ(Xml(doc), docText);
    EXPECT_EQ(Xml(element), elementText);
    EXPECT_EQ(Xml(block), blockText);
    // A setter that makes its element first keeps at least the text out.
    EXPECT_EQ(element.SetLimits("1", "\x02"), NX_FAILURE);
    CTestElementParser reread;
    EXPECT_EQ(reread.Parse(Xml(element).c_str(), false), NX_SUCCESS) << Xml(element);
    // Tab, line feed, carriage return and the rest of the characters are taken and
    // read back.
    const std::string accepted = "a\tb\nc\rd \xc3\xa9 \xe2\x82\xac \xf0\x9f\x9a\x80 \x7f";
    ASSERT_EQ(doc.SetDescription(accepted.c_str()), NX_SUCCESS);
    ASSERT_EQ(doc.SetUserDataBlock(accepted.c_str(), "name"), NX_SUCCESS);
    CSTopovelDocParser again;
    ASSERT_EQ(again.Parse(Xml(doc).c_str(), false), NX_SUCCESS);
    SHString s;
    ASSERT_EQ(again.GetDescription(s), NX_SUCCESS);
    EXPECT_EQ(Text(s), accepted);
    ASSERT_EQ(again.GetUserDataBlock(s, "name"), NX_SUCCESS);
    EXPECT_EQ(Text(s), accepted);
}
