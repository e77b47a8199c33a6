// Documents from users and from the server: nothing is fetched over the network,
// only the DTD file is read from the DTD folder, and entity expansion is bounded.
#include "Fendrel/SNetBuildErrorHandler.h"
#include "TestParsers.h"
#include "XmlEnvironment.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using fendrel_test::CTestDocParser;
using fendrel_test::DtdDir;
using fendrel_test::Xml;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

// A listening socket on the loopback that counts the connections made to it.
class Listener {
public:
    Listener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("no loopback listener");
        m_port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(m_fd); }

    std::string Url(const std::string& file) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + file;
    }
    int Accepted() {
        int n = 0;
        for (int fd; (fd = ::accept(m_fd, nullptr, nullptr)) >= 0; ++n)
            ::close(fd);
        return n;
    }

private:
    int m_fd = -1;
    unsigned short m_port = 0;
};

} // namespace

TEST(UntrustedDocuments, NetworkDtdAndEntitiesAreNeverFetched) {
    Listener listener;
    const std::string texts[] = {
        "<!DOCTYPE TOPOVEL SYSTEM \"" + listener.Url("remote.dtd") + "\"><TOPOVEL/>",
        "<!DOCTYPE TOPOVEL PUBLIC \"-//X//EN\" \"" + listener.Url("x.dtd") + "\"><TOPOVEL/>",
        "<!DOCTYPE TOPOVEL [<!ENTITY e SYSTEM \"" + listener.Url("e.txt") +
            "\">]><TOPOVEL>&e;</TOPOVEL>",
        "<!DOCTYPE TOPOVEL [<!ENTITY % p SYSTEM \"" + listener.Url("p.dtd") + "\"> %p;]><TOPOVEL/>",
        "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\" [<!ENTITY e SYSTEM \"" +
            listener.Url("Topovel_1_2.txt") + "\">]><TOPOVEL>&e;</TOPOVEL>",
    };
    const std::string dtdDir = DtdDir();
    for (const std::string& text : texts)
        for (bool validate : {false, true})
            for (const char* folder : {static_cast<const char*>(nullptr), dtdDir.c_str()}) {
                CTestDocParser doc;
                doc.SetTopovelDtdPath(folder);
                doc.Parse(text.c_str(), validate);
                EXPECT_EQ(listener.Accepted(), 0) << text << " validate=" << validate;
            }
}

TEST(UntrustedDocuments, OnlyTheDtdFileIsReadFromTheFolder) {
    TempDir dir("fendrel-dtd");
    write_file(dir / "Topovel_1_2.dtd",
               "<!ELEMENT TOPOVEL (#PCDATA)><!ENTITY % side SYSTEM \"side.ent\"> %side;");
    write_file(dir / "side.ent", "<!ENTITY leak \"SIDE-FILE\">");
    write_file(dir / "secret.txt", "SECRET-TEXT");
    const std::string secret = (dir / "secret.txt").string();

    CTestDocParser doc;
    doc.SetTopovelDtdPath(dir.str().c_str());
    // An entity naming another file, absolute or in the folder, reads as nothing.
    for (const std::string& system : {secret, std::string("secret.txt"), "file://" + secret}) {
        std::string text = "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\" [<!ENTITY e SYSTEM \"" +
                           system + "\">]><TOPOVEL>[&e;]</TOPOVEL>";
        if (doc.Parse(text.c_str(), false) == NX_SUCCESS) {
            EXPECT_EQ(Xml(doc).find("SECRET"), std::string::npos) << Xml(doc);
        }
    }
    // The DTD itself is found by its file name, whatever path the document gives; the
    // parameter entity it names is not read.
    for (const char* system : {"Topovel_1_2.dtd", "../../elsewhere/Topovel_1_2.dtd",
                               "http://example.invalid/Topovel_1_2.dtd"}) {
        std::string text =
            std::string("<!DOCTYPE TOPOVEL SYSTEM \"") + system + "\"><TOPOVEL>text</TOPOVEL>";
        EXPECT_EQ(doc.Parse(text.c_str(), true), NX_SUCCESS) << system;
        std::string leak = text.substr(0, text.size() - 10) + "&leak;</TOPOVEL>";
        if (doc.Parse(leak.c_str(), false) == NX_SUCCESS) {
            EXPECT_EQ(Xml(doc).find("SIDE-FILE"), std::string::npos) << Xml(doc);
        }
    }
    // Another DTD name in the same folder is not read.
    std::string other = "<!DOCTYPE TOPOVEL SYSTEM \"side.dtd\"><TOPOVEL>text</TOPOVEL>";
    write_file(dir / "side.dtd", "<!ELEMENT TOPOVEL (#PCDATA)>");
    EXPECT_EQ(doc.Parse(other.c_str(), true), NX_SUCCESS) << "side.dtd is the named DTD here";
    EXPECT_EQ(doc.Parse(std::string("<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\" [<!ENTITY % o "
                                    "SYSTEM \"side.dtd\"> %o;]><TOPOVEL>text</TOPOVEL>")
                            .c_str(),
                        true),
              NX_SUCCESS);
}

TEST(UntrustedDocuments, EntityExpansionIsBounded) {
    std::string text = "<!DOCTYPE TOPOVEL [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i <= 9; ++i) {
        text += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            text += "&a" + std::to_string(i - 1) + ";";
        text += "\">";
    }
    text += "]><TOPOVEL>&a9;</TOPOVEL>";
    CTestDocParser doc;
    EXPECT_EQ(doc.Parse(text.c_str(), false), NX_FAILURE);
    EXPECT_TRUE(doc.IsNULL());
}

TEST(UntrustedDocuments, EntitiesWithTextAreRefusedAndPredefinedOnesKept) {
    // Few expansions of a large entity: 40 KB of text that would expand to 40 MB.
    std::string big = "<!DOCTYPE TOPOVEL [<!ENTITY big \"" + std::string(20000, 'x') +
                      "\">]>"
                      "<TOPOVEL DESCRIPTION=\"&big;\">";
    for (int i = 0; i < 2000; ++i)
        big += "&big;";
    big += "</TOPOVEL>";
    const std::string declared[] = {
        big,
        "<!DOCTYPE TOPOVEL [<!ENTITY co \"Orvane &amp; Co\">]><TOPOVEL>&co;</TOPOVEL>",
        "<!DOCTYPE TOPOVEL [<!ENTITY unused \"x\">]><TOPOVEL/>",
        "<!DOCTYPE TOPOVEL [<!ENTITY % p \"<!ELEMENT TOPOVEL ANY>\"> %p;]><TOPOVEL/>",
        "<!DOCTYPE TOPOVEL [<!ENTITY % p \"<!ENTITY q 'text'>\"> %p;]><TOPOVEL>&q;</TOPOVEL>",
    };
    for (const std::string& text : declared)
        for (bool validate : {false, true}) {
            CTestDocParser doc;
            doc.SetTopovelDtdPath(DtdDir().c_str());
            EXPECT_EQ(doc.Parse(text.c_str(), validate), NX_FAILURE) << text.substr(0, 80);
            EXPECT_TRUE(doc.IsNULL());
        }
    // A validating parse says why.
    SNetBuildErrorHandler handler;
    orvane::xml::XmlDocument scratch;
    EXPECT_FALSE(
        orvane::xml::ParseFromMemory(declared[1].c_str(), scratch, true, &handler, nullptr));
    EXPECT_NE(handler.GetErrLog().find("The entity \"co\" is refused"), std::string::npos)
        << handler.GetErrLog();

    // The predefined entities, a declaration that only restates one of them, character
    // references and external entities (which read as nothing) still parse.
    CTestDocParser doc;
    ASSERT_EQ(
        doc.Parse("<!DOCTYPE TOPOVEL [<!ENTITY lt \"&#38;#60;\"><!ENTITY e SYSTEM \"e.txt\">]>"
                  "<TOPOVEL DESCRIPTION=\"a &lt; b &amp; &quot;c&quot; &#233;&#x20AC;\">"
                  "&apos;&gt;&e;</TOPOVEL>",
                  false),
        NX_SUCCESS);
    SHString s;
    ASSERT_EQ(doc.GetDescription(s), NX_SUCCESS);
    EXPECT_STREQ(s.GetString(), "a < b & \"c\" \xC3\xA9\xE2\x82\xAC");
}

TEST(UntrustedDocuments, NestingIsBoundedBeforeTheDomRecursesOverIt) {
    auto nested = [](unsigned depth) {
        std::string text = "<X ID=\"deep\">";
        for (unsigned i = 1; i < depth; ++i)
            text += "<a>";
        for (unsigned i = 1; i < depth; ++i)
            text += "</a>";
        return text + "</X>";
    };
    CTestDocParser doc;
    ASSERT_EQ(doc.CreateNew("S", "N"), NX_SUCCESS);
    // Copying a fragment this deep into the document would overflow the stack.
    EXPECT_EQ(doc.AddNetObject(nested(100000).c_str()), NX_FAILURE);
    EXPECT_EQ(doc.AddNetObject(nested(orvane::xml::kMaxElementDepth + 1).c_str()), NX_FAILURE);
    unsigned count = 9;
    ASSERT_EQ(doc.GetNetObjectsCount(count), NX_SUCCESS);
    EXPECT_EQ(count, 0u);
    // The deepest fragment that fits once it stands in NET_OBJECTS (two levels down).
    ASSERT_EQ(doc.AddNetObject(nested(orvane::xml::kMaxElementDepth - 2).c_str()), NX_SUCCESS);
    SHString text;
    ASSERT_EQ(doc.GetXML(text), NX_SUCCESS);
    CTestDocParser copy;
    EXPECT_EQ(copy.Parse(text.GetString(), false), NX_SUCCESS);
    // One level more and the whole document is refused.
    std::string deeper = text.GetString();
    deeper.replace(deeper.find("<X ID=\"deep\">"), 13, "<X ID=\"deep\"><b>");
    deeper.replace(deeper.find("</X>"), 4, "</b></X>");
    EXPECT_EQ(copy.Parse(deeper.c_str(), false), NX_FAILURE);
    EXPECT_TRUE(copy.IsNULL());
}
