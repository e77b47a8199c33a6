// XML utility layer: transcoding, parsing from memory, element helpers, escaping and
// numbers.
#include "Fendrel/SNetBuildErrorHandler.h"
#include "OrvaneXercesUtils/OrvaneXercesUtils.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <filesystem>

using namespace orvane::xml;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

XmlDocument Parse(const std::string& text, bool validate = false, const char* folder = nullptr) {
    XmlDocument doc;
    EXPECT_TRUE(ParseFromMemory(text.c_str(), doc, validate, nullptr, folder)) << text;
    return doc;
}

std::string ChildTags(const DOMElement* parent) {
    std::string tags;
    for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling())
        if (n->getNodeType() == DOMNode::ELEMENT_NODE)
            tags += TagName(static_cast<DOMElement*>(n)) + " ";
    return tags;
}

const TagOrder kRootOrder{"NET_OBJECTS", "LINKS", "RECORDING_DATA", "USER_DATA"};

} // namespace

TEST(XmlTranscoding, Utf8RoundTripsThroughParserStrings) {
    const std::string text = "Z\xc3\xbcrich \xe2\x86\x92 \xf0\x9f\x9a\x80 plain";
    XString wide = ToX(text);
    EXPECT_EQ(wide.size(), 17u); // the rocket takes a surrogate pair
    EXPECT_EQ(ToUtf8(wide.c_str()), text);
    EXPECT_EQ(ToUtf8(nullptr), "");
    EXPECT_TRUE(ToX(static_cast<const char*>(nullptr)).empty());
}

TEST(XmlTranscoding, StrayBytesAreReadAsLatin1AndLoneSurrogatesReplaced) {
    EXPECT_EQ(ToUtf8(ToX("caf\xe9").c_str()), "caf\xc3\xa9");
    const XMLCh lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(ToUtf8(lone), "a\xef\xbf\xbd"
                            "b");
}

TEST(XmlTranscoding, TranscodedStringCopiesAndCompares) {
    CSTranscodedString empty;
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_FALSE(empty.Equals("x"));
    EXPECT_FALSE(empty.Differs("x"));
    CSTranscodedString a(u"abc");
    CSTranscodedString b(a);
    b = b;
    EXPECT_TRUE(b.Equals("abc"));
    EXPECT_NE(a.Get(), b.Get());
    b = u"xyz";
    EXPECT_TRUE(b.Differs("abc"));
    b.Release();
    EXPECT_EQ(b.Get(), nullptr);
}

TEST(XmlParsing, DtdNameIsTheSystemIdentifierOfTheDoctype) {
    std::string name;
    EXPECT_TRUE(GetDtdNameFromText("<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">", name));
    EXPECT_EQ(name, "Topovel_1_2.dtd");
    EXPECT_TRUE(GetDtdNameFromText("<!DOCTYPE A SYSTEM 'dir/sub/x.dtd'>", name));
    EXPECT_EQ(name, "dir/sub/x.dtd");
    // A ".dtd" in the declaration, a comment or a processing instruction before the
    // DOCTYPE is not the DTD.
    EXPECT_TRUE(GetDtdNameFromText("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"a.dtd\"?>\n"
                                   "<!-- Validated against Other.dtd -->\n<?pi b.dtd?>\n"
                                   "<!DOCTYPE TOPOVEL PUBLIC \"-//P//c.dtd\"\n 'Topovel_1_2.dtd'>",
                                   name));
    EXPECT_EQ(name, "Topovel_1_2.dtd");
    name = "kept";
    EXPECT_FALSE(GetDtdNameFromText("plain.dtd rest", name));
    EXPECT_FALSE(GetDtdNameFromText("<!DOCTYPE A [<!ELEMENT A ANY>]><A>x.dtd</A>", name));
    EXPECT_FALSE(GetDtdNameFromText("<!-- x.dtd --><A/>", name));
    EXPECT_FALSE(GetDtdNameFromText("<!DOCTYPE A SYSTEM \"open.dtd>", name));
    EXPECT_FALSE(GetDtdNameFromText("<A/>", name));
    EXPECT_FALSE(GetDtdNameFromText(nullptr, name));
    EXPECT_EQ(name, "kept");
}

TEST(XmlParsing, ValidationReadsTheDtdTheDoctypeNamesAndSaysWhyItCannot) {
    const std::string folder = fendrel_test::DtdDir();
    const std::string body = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
                             "<TOPOVEL ID=\"1\"><NET_OBJECTS/></TOPOVEL>";
    XmlDocument doc;
    // A header comment that names the DTD file (or another) does not hide the DOCTYPE.
    for (const char* header : {"<!-- Validated against Topovel_1_2.dtd -->\n",
                               "<?xml version=\"1.0\"?>\n<!-- see ../docs/Other.dtd -->\n"}) {
        SNetBuildErrorHandler handler;
        EXPECT_TRUE(ParseFromMemory((header + body).c_str(), doc, true, &handler, folder.c_str()))
            << header << handler.GetErrLog();
    }
    // Without a DTD folder, or with a DTD that is no .dtd file, the error says so.
    SNetBuildErrorHandler handler;
    EXPECT_FALSE(ParseFromMemory(("\n" + body).c_str(), doc, true, &handler, nullptr));
    EXPECT_EQ(handler.GetErrLog(), "No DTD folder is set: the DTD \"Topovel_1_2.dtd\" cannot be "
                                   "read to validate the document, at line: 2, column: 1");
    EXPECT_FALSE(ParseFromMemory("<!DOCTYPE TOPOVEL SYSTEM \"secret.txt\"><TOPOVEL/>", doc, true,
                                 &handler, folder.c_str()));
    EXPECT_NE(handler.GetErrLog().find("only a .dtd file of the DTD folder is"), std::string::npos)
        << handler.GetErrLog();
    // A DTD file missing from the folder: the parser's own error names it.
    TempDir empty("fendrel-no-dtd");
    EXPECT_FALSE(ParseFromMemory(body.c_str(), doc, true, &handler, empty.str().c_str()));
    EXPECT_NE(handler.GetErrLog().find("Topovel_1_2.dtd"), std::string::npos)
        << handler.GetErrLog();
}

TEST(XmlParsing, ValidationFollowsTheDoctypeAndTheDtdFolder) {
    const std::string folder = fendrel_test::DtdDir();
    const std::string valid = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">"
                              "<TOPOVEL ID=\"1\"><NET_OBJECTS/></TOPOVEL>";
    const std::string invalid = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">"
                                "<TOPOVEL ID=\"1\"><BOGUS/></TOPOVEL>";
    XmlDocument doc;
    // The folder with and without a closing slash.
    EXPECT_TRUE(ParseFromMemory(valid.c_str(), doc, true, nullptr, folder.c_str()));
    EXPECT_TRUE(ParseFromMemory(valid.c_str(), doc, true, nullptr, (folder + "/").c_str()));
    EXPECT_FALSE(ParseFromMemory(invalid.c_str(), doc, true, nullptr, folder.c_str()));
    // Without validation the DTD is not checked.
    EXPECT_TRUE(ParseFromMemory(invalid.c_str(), doc, false, nullptr, folder.c_str()));
    // Without a DOCTYPE the automatic scheme accepts the text unchecked.
    EXPECT_TRUE(ParseFromMemory("<TOPOVEL><BOGUS/></TOPOVEL>", doc, true, nullptr, folder.c_str()));
    // Without a DTD folder nothing external is read, so a DOCTYPE cannot be validated.
    EXPECT_FALSE(ParseFromMemory(valid.c_str(), doc, true, nullptr, nullptr));
    EXPECT_TRUE(ParseFromMemory(valid.c_str(), doc, false, nullptr, nullptr));

    // Without validation the DTD file is not even read: a broken one fails only a
    // validating parse.
    testsupport::TempDir broken("fendrel-broken-dtd");
    testsupport::write_file(broken.path() / "Topovel_1_2.dtd", "<!ELEMENT TOPOVEL (");
    EXPECT_TRUE(ParseFromMemory(valid.c_str(), doc, false, nullptr, broken.str().c_str()));
    EXPECT_FALSE(ParseFromMemory(valid.c_str(), doc, true, nullptr, broken.str().c_str()));
}

TEST(XmlParsing, FailureLeavesTheCallersDocument) {
    XmlDocument doc = Parse("<A/>");
    DOMDocument* before = doc.get();
    EXPECT_FALSE(ParseFromMemory("<A><B></A>", doc, false, nullptr, nullptr));
    EXPECT_FALSE(ParseFromMemory(nullptr, doc, false, nullptr, nullptr));
    EXPECT_EQ(doc.get(), before);
}

TEST(XmlParsing, ElementTextHandsOutTheFragmentsRoot) {
    XmlDocument holder;
    DOMElement* element = nullptr;
    ASSERT_TRUE(ParseElementText("<ENDPOINT ID=\"E\"><HOST_ID/></ENDPOINT>\n", holder, element));
    EXPECT_EQ(TagName(element), "ENDPOINT");
    EXPECT_EQ(GetAttr(element, "ID"), "E");
    EXPECT_FALSE(ParseElementText("<A>", holder, element));
}

TEST(XmlDocuments, DocumentModeBuildsTheScenarioSkeleton) {
    XmlDocument doc;
    ASSERT_TRUE(CreateEmptyDocument(doc, "TOPOVEL", "ID1", "Name", "Topovel_1_2.dtd", "1.2", true));
    DOMElement* root = doc->getDocumentElement();
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS LINKS ");
    EXPECT_EQ(GetAttr(root, "TOPOVEL_VERSION"), "1.2");
    ASSERT_NE(doc->getDoctype(), nullptr);
    EXPECT_EQ(ToUtf8(doc->getDoctype()->getSystemId()), "Topovel_1_2.dtd");
    ASSERT_NE(GetXmlDeclaration(doc.get()), nullptr);
    EXPECT_STREQ(GetXmlDeclaration(doc.get())->encoding, "iso-8859-1");

    ASSERT_TRUE(
        CreateEmptyDocument(doc, "TALLIVORE", "S", "Stats", "Topovel_1_2.dtd", "1.2", true));
    EXPECT_EQ(ChildTags(doc->getDocumentElement()), "NET_OBJECTS_STATS ");
}

TEST(XmlDocuments, ElementModeSetsOnlyTheGivenAttributes) {
    XmlDocument doc;
    ASSERT_TRUE(CreateEmptyDocument(doc, "GATEWAY", "G", nullptr, "x.dtd", "1.2", false));
    DOMElement* root = doc->getDocumentElement();
    EXPECT_EQ(GetAttr(root, "ID"), "G");
    EXPECT_FALSE(HasAttr(root, "NAME"));
    EXPECT_EQ(doc->getDoctype(), nullptr);
    EXPECT_EQ(GetXmlDeclaration(doc.get()), nullptr);
    EXPECT_EQ(Parse("<A/>")->getUserData(u"orvane.xml-declaration"), nullptr);
}

TEST(XmlDocuments, FailedCreationLeavesNoDocument) {
    XmlDocument doc = Parse("<A/>");
    EXPECT_FALSE(CreateEmptyDocument(doc, "1 not a name", "I", "N", "x.dtd", "1.2", false));
    EXPECT_EQ(doc, nullptr);
    doc = Parse("<A/>");
    EXPECT_FALSE(CreateEmptyDocument(doc, "<bad", "I", "N", "x.dtd", "1.2", true));
    EXPECT_EQ(doc, nullptr);
}

TEST(XmlElements, LookupsAndCounts) {
    XmlDocument doc =
        Parse("<R> <A ID=\"1\"><B ID=\"2\"/></A><!--c--><B ID=\"3\"/>text<C ID=\"2\"/></R>");
    DOMElement* root = doc->getDocumentElement();
    DOMElement* found = nullptr;
    ASSERT_TRUE(GetFirstElementByTag("B", doc.get(), found));
    EXPECT_EQ(GetAttr(found, "ID"), "2"); // document order: the nested one first
    ASSERT_TRUE(GetChildElementByTag("B", root, found));
    EXPECT_EQ(GetAttr(found, "ID"), "3");
    EXPECT_FALSE(GetChildElementByTag("Z", root, found));
    ASSERT_TRUE(FindElementByAttribute(root, nullptr, "ID", "2", found));
    EXPECT_EQ(TagName(found), "C"); // direct children only
    ASSERT_TRUE(FindElementByAttribute(root, "B", "ID", "2", found));
    EXPECT_EQ(TagName(found), "B");
    EXPECT_FALSE(FindElementByAttribute(nullptr, "B", "ID", "2", found));

    unsigned count = 0;
    ASSERT_TRUE(CountChildElements(root, count));
    EXPECT_EQ(count, 3u);
    ASSERT_TRUE(GetChildElementAt(root, 2, found));
    EXPECT_EQ(TagName(found), "C");
    EXPECT_FALSE(GetChildElementAt(root, 3, found));
}

TEST(XmlElements, InsertChildInOrderPlacesByTheList) {
    XmlDocument doc = Parse("<R><NET_OBJECTS/><LINKS/><USER_DATA/></R>");
    DOMElement* root = doc->getDocumentElement();
    ASSERT_TRUE(InsertChildInOrder(root, CreateElement(doc.get(), "RECORDING_DATA"), kRootOrder));
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS LINKS RECORDING_DATA USER_DATA ");

    doc = Parse("<R><NET_OBJECTS/><LINKS/></R>");
    root = doc->getDocumentElement();
    ASSERT_TRUE(InsertChildInOrder(root, CreateElement(doc.get(), "RECORDING_DATA"), kRootOrder));
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS LINKS RECORDING_DATA ");

    // A tag outside the list is appended, not lost.
    ASSERT_TRUE(InsertChildInOrder(root, CreateElement(doc.get(), "OTHER"), kRootOrder));
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS LINKS RECORDING_DATA OTHER ");
}

TEST(XmlElements, OrderedGetOrCreateConsidersDirectChildrenOnly) {
    // A USER_DATA nested inside an object is not the root's USER_DATA.
    XmlDocument doc = Parse("<R><NET_OBJECTS><X><USER_DATA/></X></NET_OBJECTS><USER_DATA_B/></R>");
    DOMElement* root = doc->getDocumentElement();
    DOMElement* out = nullptr;
    EXPECT_FALSE(GetOrCreateElement(doc.get(), out, "USER_DATA", kRootOrder, false));
    ASSERT_TRUE(GetOrCreateElement(doc.get(), out, "USER_DATA", kRootOrder, true));
    EXPECT_EQ(out->getParentNode(), root);
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS USER_DATA_B USER_DATA ");
    // LINKS goes before the root's USER_DATA, not before the nested one.
    ASSERT_TRUE(GetOrCreateElement(doc.get(), out, "LINKS", kRootOrder, true));
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS USER_DATA_B LINKS USER_DATA ");

    // Without an order list the whole document is searched and new ones are appended.
    DOMElement* nested = nullptr;
    ASSERT_TRUE(GetOrCreateElement(doc.get(), nested, "X", {}, true));
    EXPECT_EQ(TagName(static_cast<DOMElement*>(nested->getParentNode())), "NET_OBJECTS");
    ASSERT_TRUE(GetOrCreateElement(doc.get(), out, "NEW", {}, true));
    EXPECT_EQ(ChildTags(root), "NET_OBJECTS USER_DATA_B LINKS USER_DATA NEW ");
    EXPECT_FALSE(GetOrCreateElement(nullptr, out, "NEW", {}, true));
}

TEST(XmlElements, ElementTextIsReadAndReplaced) {
    XmlDocument doc = Parse("<R><V>old</V><E/></R>");
    DOMElement *v = nullptr, *e = nullptr;
    ASSERT_TRUE(GetFirstElementByTag("V", doc.get(), v));
    ASSERT_TRUE(GetFirstElementByTag("E", doc.get(), e));
    std::string text = "unchanged";
    EXPECT_TRUE(GetElementText(e, text));
    EXPECT_EQ(text, "unchanged");
    ASSERT_TRUE(SetElementText(doc.get(), v, "n\xc3\xa9w"));
    EXPECT_TRUE(GetElementText(v, text));
    EXPECT_EQ(text, "n\xc3\xa9w");
    EXPECT_EQ(v->getChildNodes()->getLength(), 1u);
}

TEST(XmlEscaping, EntitiesAndCharacterReferences) {
    std::string out;
    EscapeXmlText(out, "a<b & \"c\" 'd' >");
    EXPECT_EQ(out, "a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;");
    EscapeXmlText(out, nullptr);
    EXPECT_EQ(out, "");
    // One reference per code point, not per UTF-8 byte.
    ASSERT_TRUE(EscapeXmlTextAscii("caf\xc3\xa9 <\xf0\x9f\x9a\x80>\x7f", out));
    EXPECT_EQ(out, "caf&#233; &lt;&#128640;&gt;&#127;");
}

TEST(XmlEscaping, ReplaceInString) {
    std::string text = "a-b-c";
    EXPECT_TRUE(ReplaceInString(text, "-", "--", false));
    EXPECT_EQ(text, "a--b-c");
    EXPECT_TRUE(ReplaceInString(text, "-", nullptr, true));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(ReplaceInString(text, "x", "y", true));
    EXPECT_FALSE(ReplaceInString(text, "", "y", true));
}

TEST(XmlNumbers, ReadAtStopsAtTheFirstOtherCharacter) {
    const char* text = "12.7x";
    const char* cursor = text;
    int value = -1;
    ASSERT_TRUE(ReadIntAt(&cursor, value));
    EXPECT_EQ(value, 12);
    EXPECT_EQ(cursor, text + 4);
    EXPECT_FALSE(ReadIntAt(&cursor, value));
    EXPECT_EQ(cursor, text + 4);
    EXPECT_EQ(value, 12);

    const char* loss = "1.25</LOS>";
    double d = 0;
    ASSERT_TRUE(ReadDoubleAt(&loss, d));
    EXPECT_DOUBLE_EQ(d, 1.25);
    const char* sign = "-5";
    EXPECT_FALSE(ReadDoubleAt(&sign, d));
}

TEST(XmlNumbers, IntegerReadsClampInsteadOfOverflowing) {
    const char* big = "99999999999999999999999999999";
    int value = 0;
    ASSERT_TRUE(ReadIntAt(&big, value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_EQ(TextToInt("2147483648"), INT_MAX);
    EXPECT_EQ(TextToInt("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(TextToInt("  -42abc"), -42);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt(nullptr), 0);
    EXPECT_DOUBLE_EQ(TextToDouble(" 0.5 "), 0.5);
    EXPECT_DOUBLE_EQ(TextToDouble("x"), 0.0);
    EXPECT_DOUBLE_EQ(TextToDouble("1e-400"), 0.0);
}

TEST(XmlNumbers, TextDoesNotDependOnTheProcessLocale) {
    // Build a locale whose decimal separator is a comma, if the system can.
    TempDir dir("locale");
    std::string command =
        "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 && !std::filesystem::exists(dir / "de_DE.UTF-8"))
        GTEST_SKIP() << "no comma locale can be built here";
    setenv("LOCPATH", dir.str().c_str(), 1);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "comma locale not available";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.2f", 0.5);
    EXPECT_STREQ(probe, "0,50"); // what printf would have written
    EXPECT_EQ(DoubleToText(0.5, 2), "0.50");
    EXPECT_EQ(DoubleToText(1.255, 0), "1");
    EXPECT_EQ(IntToText(-1234567), "-1234567");
    EXPECT_DOUBLE_EQ(TextToDouble("1.25"), 1.25);
    const char* cursor = "3.75";
    double d = 0;
    ASSERT_TRUE(ReadDoubleAt(&cursor, d));
    EXPECT_DOUBLE_EQ(d, 3.75);
    std::setlocale(LC_ALL, "C");
}

TEST(XmlTextSearch, TagsAreMatchedNotBareWords) {
    const std::string text =
        "<A NOTE=\"LATENCY_AND_LOSS_DATA\"><!-- <LAT_DATA> --><![CDATA[<LAT_DATA>]]>"
        "<LAT_DATAX/><LAT_DATA V='a>b'>x</LAT_DATAX></LAT_DATA ></A>";
    size_t open = FindOpenTag(text, "LAT_DATA", 0);
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(text.substr(open, 10), "<LAT_DATA ");
    size_t end = FindTagEnd(text, open + 9);
    EXPECT_EQ(text.substr(end - 5, 6), "'a>b'>");
    size_t close = FindCloseTag(text, "LAT_DATA", end);
    EXPECT_EQ(text.substr(close, 11), "</LAT_DATA ");
    EXPECT_EQ(FindOpenTag(text, "LAT_DATA", open + 1), std::string::npos);
    EXPECT_EQ(FindTagEnd("<A B=\"x>", 0), std::string::npos);
}
