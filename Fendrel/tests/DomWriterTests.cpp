// DOM-to-text writer: markup of each node kind, escaping and character references.
#include "Fendrel/DomWriter.h"
#include "OrvaneXercesUtils/OrvaneXercesUtils.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

using namespace orvane::xml;

namespace {

XmlDocument Parse(const std::string& text) {
    XmlDocument doc;
    EXPECT_TRUE(ParseFromMemory(text.c_str(), doc, false, nullptr, nullptr)) << text;
    return doc;
}

DOMElement* First(const XmlDocument& doc, const char* tag) {
    DOMElement* found = nullptr;
    EXPECT_TRUE(GetFirstElementByTag(tag, doc.get(), found));
    return found;
}

} // namespace

TEST(DomWriter, ElementsAndTheClosingLineFeed) {
    XmlDocument doc = Parse("<R><E B=\"2\" A=\"1\"/><F>x</F></R>");
    EXPECT_EQ(SerializeNode(First(doc, "E")), "<E A=\"1\" B=\"2\"/>\n");
    EXPECT_EQ(SerializeNode(First(doc, "F")), "<F>x</F>\n");
    EXPECT_EQ(SerializeNode(doc.get()), "<R><E A=\"1\" B=\"2\"/><F>x</F></R>\n\n");
    EXPECT_EQ(SerializeNode(nullptr), "");
}

TEST(DomWriter, AttributeValuesAreEscaped) {
    XmlDocument doc = Parse("<R/>");
    DOMElement* root = doc->getDocumentElement();
    SetAttr(root, "V", "a<b & \"c\" 'd' > caf\xc3\xa9\ttab\nline\rret \xf0\x9f\x9a\x80");
    EXPECT_EQ(SerializeNode(root), "<R V=\"a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt; "
                                   "caf&#233;&#9;tab&#10;line&#13;ret &#128640;\"/>\n");
}

TEST(DomWriter, TextIsEscapedSoTheNextParseReadsTheSameValue) {
    XmlDocument doc = Parse("<R/>");
    DOMElement* root = doc->getDocumentElement();
    const std::string value = "if a < b && c > d then \xc3\xa9t\xc3\xa9\n\"quoted\"";
    ASSERT_TRUE(SetElementText(doc.get(), root, value.c_str()));
    std::string text = SerializeNode(root);
    EXPECT_EQ(text, "<R>if a &lt; b &amp;&amp; c &gt; d then &#233;t&#233;\n\"quoted\"</R>\n");
    XmlDocument again = Parse(text);
    std::string read;
    ASSERT_TRUE(GetElementText(again->getDocumentElement(), read));
    EXPECT_EQ(read, value);
}

TEST(DomWriter, OtherNodeKinds) {
    XmlDocument doc =
        Parse("<!DOCTYPE R SYSTEM \"r.dtd\">"
              "<R><!--note--><?target some data?><?bare?><![CDATA[<raw & text>]]></R>");
    EXPECT_EQ(SerializeNode(doc.get()),
              "<!DOCTYPE R SYSTEM \"r.dtd\">\n"
              "<R><!--note--><?target some data?><?bare?><![CDATA[<raw & text>]]></R>\n\n");
    doc = Parse("<!DOCTYPE R PUBLIC \"-//P//EN\" \"r.dtd\"><R/>");
    EXPECT_EQ(SerializeNode(doc.get()), "<!DOCTYPE R PUBLIC \"-//P//EN\" \"r.dtd\">\n<R/>\n\n");
    EXPECT_EQ(SerializeNode(doc->getDoctype()), "<!DOCTYPE R PUBLIC \"-//P//EN\" \"r.dtd\">\n");
}

TEST(DomWriter, CreatedDocumentsCarryTheDeclaration) {
    XmlDocument doc;
    ASSERT_TRUE(CreateEmptyDocument(doc, "TOPOVEL", "I", "N", "Topovel_1_2.dtd", "1.2", true));
    EXPECT_EQ(SerializeNode(doc.get()),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\" standalone=\"no\"?>\n\n"
              "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\">\n"
              "<TOPOVEL ID=\"I\" NAME=\"N\" "
              "TOPOVEL_VERSION=\"1.2\"><NET_OBJECTS/><LINKS/></TOPOVEL>\n\n");
    // Writing one element of it gives no declaration.
    EXPECT_EQ(SerializeNode(First(doc, "LINKS")), "<LINKS/>\n");
}

TEST(DomWriter, DeepNestingDoesNotExhaustTheStack) {
    XmlDocument doc = Parse("<R/>");
    DOMElement* node = doc->getDocumentElement();
    const int depth = 20000;
    for (int i = 0; i < depth; ++i)
        node = static_cast<DOMElement*>(node->appendChild(CreateElement(doc.get(), "N")));
    std::string text = SerializeNode(doc->getDocumentElement());
    EXPECT_EQ(text.size(), 7u * depth + 5);
    EXPECT_EQ(text.substr(text.size() - 9), "</N></R>\n");
}

TEST(DomWriter, BytesFollowTheDeclaredEncoding) {
    XmlDocument doc;
    ASSERT_TRUE(CreateEmptyDocument(doc, "TOPOVEL", "I", "N", "Topovel_1_2.dtd", "1.2", true));
    XmlDocument fragment =
        Parse("<OBJECTS><!--caf\xc3\xa9--><?note caf\xc3\xa9?><![CDATA[caf\xc3\xa9 \xe2\x82\xac "
              "x]]><ELEMENT_\xc3\xa9 A=\"\xc3\xa9\">\xe2\x82\xac</ELEMENT_\xc3\xa9></OBJECTS>");
    DOMNode* objects = doc->importNode(fragment->getDocumentElement(), true);
    doc->getDocumentElement()->appendChild(objects);
    // Declared iso-8859-1: names, comments and processing instructions are written in
    // Latin-1; a character Latin-1 lacks leaves its CDATA section as a reference.
    std::string text = SerializeNode(doc.get());
    EXPECT_NE(text.find("<!--caf\xe9--><?note caf\xe9?><![CDATA[caf\xe9 ]]>&#8364;<![CDATA[ x]]>"
                        "<ELEMENT_\xe9 A=\"&#233;\">&#8364;</ELEMENT_\xe9>"),
              std::string::npos)
        << text;
    XmlDocument again = Parse(text);
    ASSERT_TRUE(again);
    EXPECT_EQ(SerializeNode(again->getDocumentElement()),
              "<TOPOVEL ID=\"I\" NAME=\"N\" TOPOVEL_VERSION=\"1.2\"><NET_OBJECTS/><LINKS/>"
              "<OBJECTS><!--caf\xc3\xa9--><?note caf\xc3\xa9?><![CDATA[caf\xc3\xa9 ]]>&#8364;"
              "<![CDATA[ x]]><ELEMENT_\xc3\xa9 A=\"&#233;\">&#8364;</ELEMENT_\xc3\xa9></OBJECTS>"
              "</TOPOVEL>\n");
    // A name or comment that Latin-1 cannot hold cannot be written under that declaration.
    for (const char* markup : {"<N_\xe2\x82\xac/>", "<N><!--\xe2\x82\xac--></N>"}) {
        XmlDocument other = Parse(markup);
        DOMNode* node = doc->importNode(other->getDocumentElement(), true);
        doc->getDocumentElement()->appendChild(node);
        EXPECT_EQ(SerializeNode(doc.get()), "") << markup;
        // Written on its own (UTF-8, no declaration) it is fine.
        EXPECT_EQ(SerializeNode(node), std::string(markup) + "\n");
        doc->getDocumentElement()->removeChild(node)->release();
    }
    EXPECT_EQ(SerializeNode(doc.get()), text);
}
