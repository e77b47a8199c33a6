// The scenario download dialog's decisions against the management-server stand-in on the
// loopback: which links are followed, which are fetched, what a fetched scenario must pass
// and what the user is asked, and that the page's scenario is only ever replaced whole.
#include "AltirenUi/AltirenPageBrowserModel.h"

#include "AltirenClient/StringTable.h"
#include "PagesFixture.h"

#include <Fendrel/SEndPointParser.h>
#include <Fendrel/STopovelDocumentParser.h>

using namespace pagestest;
using Navigation = CAltirenPageBrowserModel::Navigation;
using LinkKind = CAltirenPageBrowserModel::LinkKind;

namespace {

struct Range {
    bool include;
    std::string from;
    bool operator==(const Range& o) const { return include == o.include && from == o.from; }
};

std::string Str(SHString& s) {
    return s.GetString() ? std::string(s.GetString()) : std::string();
}

// The ranges of the document's server end point, include ranges first.
std::vector<Range> ServerRanges(const std::string& xml) {
    std::vector<Range> ranges;
    CSTopovelDocParser doc;
    SHString text;
    CSEndPointParser endPoint;
    EXPECT_EQ(doc.Parse(xml.c_str(), false), NX_SUCCESS);
    EXPECT_EQ(doc.GetNetObjectXML("ID_SERVER", text), NX_SUCCESS);
    EXPECT_EQ(endPoint.Parse(Str(text).c_str(), false), NX_SUCCESS);
    unsigned includes = 0, excludes = 0;
    endPoint.GetIncludeIPRangeCount(includes);
    endPoint.GetExcludeIPRangeCount(excludes);
    for (unsigned i = 0; i < includes + excludes; ++i) {
        SHString from, to;
        unsigned short protocol = 0, port = 0;
        if (i < includes)
            endPoint.GetIncludeIPRange(i, from, to, protocol, port);
        else
            endPoint.GetExcludeIPRange(i - includes, from, to, protocol, port);
        EXPECT_EQ(Str(from), Str(to));
        ranges.push_back({i < includes, Str(from)});
    }
    return ranges;
}

class BrowserModel : public PagesTest {
protected:
    void SetUp() override {
        PagesTest::SetUp();
        previous.sourceKind = 0;
        previous.document = "<previous/>";
        previous.recording.m_latency.fixedLatency = 7;
        previous.fileName = "previous.wst";
    }

    // The page's scenario is the one it had before.
    static void ExpectPrevious(const ImportedScenario& s) {
        EXPECT_EQ(s.sourceKind, 0);
        EXPECT_EQ(s.document, "<previous/>");
        EXPECT_EQ(s.recording.m_latency.fixedLatency, 7);
        EXPECT_EQ(s.fileName, "previous.wst");
    }

    ImportedScenario previous;
    guitest::CActingPrompt prompt;
};

TEST(BrowserLinks, TheLastPathSegmentWithoutItsQueryNamesTheKindInAnyCase) {
    std::string name;
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/files/a.TVL", name),
              LinkKind::Document);
    EXPECT_EQ(name, "a.TVL");
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/files/b.wst?from=list#top", name),
              LinkKind::Recording);
    EXPECT_EQ(name, "b.wst");
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/files/my%20net.Tvl", name),
              LinkKind::Document);
    EXPECT_EQ(name, "my%20net.Tvl");
    // A query naming a file, a folder of that name, a page: followed as pages.
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/get.php?file=a.tvl", name),
              LinkKind::Page);
    EXPECT_EQ(name, "get.php");
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/net.tvl/", name), LinkKind::Page);
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/browse.php/?BUFFER=a.wst", name),
              LinkKind::Page);
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/files/tvl", name), LinkKind::Page);
    EXPECT_EQ(CAltirenPageBrowserModel::ClassifyLink("http://h/files/a.tvl.html", name),
              LinkKind::Page);
}

TEST_F(BrowserModel, OnlyHttpAddressesOfTheServersHostAreFetched) {
    const std::string port = std::to_string(server->Port());
    EXPECT_TRUE(CAltirenPageBrowserModel::IsServerAddress("http://127.0.0.1:" + port + "/x"));
    EXPECT_TRUE(CAltirenPageBrowserModel::IsServerAddress("https://127.0.0.1:" + port + "/x"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("http://127.0.0.2:" + port + "/x"));
    // Another port of the server's host is another server, the scheme's own included.
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("https://127.0.0.1/x"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("http://127.0.0.1/x"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress(
        "http://127.0.0.1:" + std::to_string(server->Port() + 1) + "/x"));
    // A server named without a port answers on the scheme's.
    ASSERT_TRUE(registry.SetString("AltirenServerIP", "127.0.0.1"));
    EXPECT_TRUE(CAltirenPageBrowserModel::IsServerAddress("http://127.0.0.1/x"));
    EXPECT_TRUE(CAltirenPageBrowserModel::IsServerAddress("https://127.0.0.1:443/x"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("http://127.0.0.1:8080/x"));
    ASSERT_TRUE(registry.SetString("AltirenServerIP", server->HostPort()));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("file:///etc/passwd"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("ftp://127.0.0.1/x"));
    EXPECT_FALSE(CAltirenPageBrowserModel::IsServerAddress("/files/relative.tvl"));

    CAltirenPageBrowserModel model(prompt, previous);
    std::string body, type;
    EXPECT_FALSE(model.FetchFromServer("file://" + (dir / "files").string(), body, type));
    EXPECT_TRUE(body.empty());
    ASSERT_TRUE(model.FetchFromServer("http://" + server->HostPort() + "/", body, type));
    EXPECT_EQ(body, "Management server\n");
    EXPECT_EQ(type, "text/plain");
}

TEST_F(BrowserModel, PagesOfTheServerAreFollowedAndOtherHostsAreNeverAsked) {
    mgmt::ServerOptions otherOptions;
    otherOptions.address = "127.0.0.2";
    otherOptions.filesDir = (dir / "files").string();
    mgmt::MgmtServer other(otherOptions);
    std::string error;
    ASSERT_TRUE(other.Start(error)) << error;
    Serve("net.tvl", ScenarioDocument(""));

    CAltirenPageBrowserModel model(prompt, previous);
    std::string browse;
    ASSERT_TRUE(model.GetBrowseAddress(browse));
    EXPECT_EQ(model.BeforeNavigate(browse), Navigation::Continue);
    EXPECT_EQ(model.BeforeNavigate("http://" + server->HostPort() + "/more.html"),
              Navigation::Continue);
    EXPECT_EQ(model.BeforeNavigate("http://" + other.HostPort() + "/more.html"), Navigation::Stay);
    EXPECT_EQ(model.BeforeNavigate("http://" + other.HostPort() + "/files/net.tvl"),
              Navigation::Stay);
    EXPECT_EQ(model.BeforeNavigate("file://" + (dir / "files" / "net.tvl").string()),
              Navigation::Stay);
    EXPECT_TRUE(other.Paths().empty());
    EXPECT_TRUE(prompt.Boxes().empty());
    ExpectPrevious(model.Result());
}

TEST_F(BrowserModel, ADocumentLinkIsFetchedWithTheUsersNameNormalisedAndTaken) {
    Serve("Net One.tvl", ScenarioDocument(Ranges("INCLUDE_IPS", {"198.18.0.2"})));
    CAltirenPageBrowserModel model(prompt, previous);
    ASSERT_EQ(model.BeforeNavigate(FileUrl("Net%20One.tvl")), Navigation::Accept);
    const ImportedScenario& taken = model.Result();
    EXPECT_EQ(taken.sourceKind, 1);
    EXPECT_EQ(taken.fileName, "Net%20One.tvl");
    // The validator's normal form, the server left as it was: no include range of it.
    EXPECT_NE(taken.document.find("ID_CLIENT_GW"), std::string::npos);
    EXPECT_EQ(ServerRanges(taken.document), (std::vector<Range>{{true, "198.18.0.2"}}));
    EXPECT_TRUE(prompt.Boxes().empty());
    // The recording is not the document's to change.
    EXPECT_EQ(taken.recording.m_latency.fixedLatency, 7);
}

TEST_F(BrowserModel, FetchAndValidatorFailuresAreShownAndChangeNothing) {
    Serve("broken.tvl", "<TOPOVEL><NET_OBJECTS>");
    Serve("one-end.tvl", "<!DOCTYPE TOPOVEL SYSTEM \"Topovel_1_2.dtd\"><TOPOVEL><NET_OBJECTS>"
                         "<ENDPOINT ID=\"S\" NAME=\"Server\"/></NET_OBJECTS></TOPOVEL>");
    CAltirenPageBrowserModel model(prompt, previous);

    EXPECT_EQ(model.BeforeNavigate(FileUrl("missing.tvl")), Navigation::Refuse);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_IMPORT_FAILED));
    EXPECT_EQ(prompt.Boxes()[0].caption, "Import error");
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OK | MB_ICONERROR);

    for (const char* name : {"broken.tvl", "one-end.tvl"}) {
        EXPECT_EQ(model.BeforeNavigate(FileUrl(name)), Navigation::Refuse) << name;
        EXPECT_EQ(prompt.Boxes().back().text, LoadClientString(IDS_INVALID_FILE));
        EXPECT_EQ(prompt.Boxes().back().caption, LoadClientString(IDS_CAPTION_ERROR));
    }
    EXPECT_EQ(prompt.Boxes().size(), 3u);
    ExpectPrevious(model.Result());
}

TEST_F(BrowserModel, WithoutTheUsersNameNothingIsFetchedAndTheDialogStays) {
    platform::registry::Registry store;
    store.deleteValue(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey,
                      "UserPassword");
    Serve("net.tvl", ScenarioDocument(""));
    CAltirenPageBrowserModel model(prompt, previous);
    EXPECT_EQ(model.BeforeNavigate(FileUrl("net.tvl")), Navigation::Stay);
    EXPECT_EQ(Hits("/files/net.tvl"), 0u);
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_EQ(model.Result().fileName, "");
    EXPECT_EQ(model.Result().document, "<previous/>");
}

TEST_F(BrowserModel, TheServerInTheIncludeListIsDroppedOnOkAndKeptOnCancel) {
    Serve("with-server.tvl",
          ScenarioDocument(Ranges("INCLUDE_IPS", {"127.0.0.1", "198.18.0.2", "127.0.0.1"})));
    Serve("only-server.tvl", ScenarioDocument(Ranges("INCLUDE_IPS", {"127.0.0.1"})));

    {
        CAltirenPageBrowserModel model(prompt, previous);
        prompt.Answer(IDCANCEL);
        EXPECT_EQ(model.BeforeNavigate(FileUrl("with-server.tvl")), Navigation::Refuse);
        ASSERT_EQ(prompt.Boxes().size(), 1u); // the question only, no "Invalid file."
        EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_SERVER_IP_IN_IMPORT));
        EXPECT_EQ(prompt.Boxes()[0].caption, LoadClientString(IDS_CAPTION_WARNING));
        EXPECT_EQ(prompt.Boxes()[0].flags, MB_OKCANCEL | MB_ICONWARNING);
        ExpectPrevious(model.Result());
    }
    {
        CAltirenPageBrowserModel model(prompt, previous);
        prompt.Answer(IDOK);
        ASSERT_EQ(model.BeforeNavigate(FileUrl("with-server.tvl")), Navigation::Accept);
        EXPECT_EQ(prompt.Boxes().size(), 2u); // asked once for both ranges
        EXPECT_EQ(ServerRanges(model.Result().document),
                  (std::vector<Range>{{true, "198.18.0.2"}}));
    }
    {
        CAltirenPageBrowserModel model(prompt, previous);
        prompt.Answer(IDOK);
        ASSERT_EQ(model.BeforeNavigate(FileUrl("only-server.tvl")), Navigation::Accept);
        // The only include range gone: the server is excluded instead.
        EXPECT_EQ(ServerRanges(model.Result().document),
                  (std::vector<Range>{{false, "127.0.0.1"}}));
    }
}

TEST_F(BrowserModel, WithoutIncludeRangesTheServerIsExcludedWhenTheSettingSaysSo) {
    Serve("open.tvl", ScenarioDocument(Ranges("EXCLUDE_IPS", {"198.18.0.9"})));
    Serve("listed.tvl", ScenarioDocument(Ranges("EXCLUDE_IPS", {"127.0.0.1"})));
    CAltirenPageBrowserModel model(prompt, previous);
    ASSERT_EQ(model.BeforeNavigate(FileUrl("open.tvl")), Navigation::Accept);
    EXPECT_EQ(ServerRanges(model.Result().document),
              (std::vector<Range>{{false, "198.18.0.9"}, {false, "127.0.0.1"}}));
    ASSERT_EQ(model.BeforeNavigate(FileUrl("listed.tvl")), Navigation::Accept);
    EXPECT_EQ(ServerRanges(model.Result().document), (std::vector<Range>{{false, "127.0.0.1"}}));

    ASSERT_TRUE(registry.SetDword("ExcludeServerIP", 0));
    ASSERT_EQ(model.BeforeNavigate(FileUrl("open.tvl")), Navigation::Accept);
    EXPECT_EQ(ServerRanges(model.Result().document), (std::vector<Range>{{false, "198.18.0.9"}}));
    EXPECT_TRUE(prompt.Boxes().empty());
}

TEST_F(BrowserModel, ARecordingLinkIsDownloadedReadAndItsTemporaryFileRemoved) {
    Serve("slow.wst", Recording(40, 1, {kNetworkHost}));
    CAltirenPageBrowserModel model(prompt, previous);
    ASSERT_EQ(model.BeforeNavigate(FileUrl("slow.wst?list=1")), Navigation::Accept);
    const ImportedScenario& taken = model.Result();
    EXPECT_EQ(taken.sourceKind, 0);
    EXPECT_EQ(taken.fileName, "slow.wst");
    EXPECT_EQ(taken.recording.m_latency.fixedLatency, 40);
    EXPECT_EQ(taken.recording.m_settings.filterCount, 1u);
    EXPECT_EQ(taken.document, "<previous/>");
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BrowserModel, AnUnreadableOrMissingRecordingIsShownChangesNothingAndLeavesNoFile) {
    Serve("bad.wst", std::string("not a recording"));
    CAltirenPageBrowserModel model(prompt, previous);
    EXPECT_EQ(model.BeforeNavigate(FileUrl("bad.wst")), Navigation::Refuse);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_INVALID_FILE));
    EXPECT_TRUE(TempFiles().empty());

    EXPECT_EQ(model.BeforeNavigate(FileUrl("gone.wst")), Navigation::Refuse);
    ASSERT_EQ(prompt.Boxes().size(), 2u);
    EXPECT_EQ(prompt.Boxes()[1].text, LoadClientString(IDS_IMPORT_FAILED));
    EXPECT_TRUE(TempFiles().empty());
    ExpectPrevious(model.Result());
}

TEST_F(BrowserModel, ARecordingThatIncludesTheServerIsAskedAbout) {
    Serve("mixed.wst", Recording(40, 1, {kLoopback, kNetworkHost, kLoopback}));
    Serve("only.wst", Recording(40, 1, {kLoopback}));
    Serve("exclude.wst", Recording(40, 0, {kLoopback}));

    CAltirenPageBrowserModel model(prompt, previous);
    prompt.Answer(IDCANCEL);
    EXPECT_EQ(model.BeforeNavigate(FileUrl("mixed.wst")), Navigation::Refuse);
    EXPECT_EQ(prompt.Boxes().size(), 1u);
    ExpectPrevious(model.Result());
    EXPECT_TRUE(TempFiles().empty());

    prompt.Answer(IDOK);
    ASSERT_EQ(model.BeforeNavigate(FileUrl("mixed.wst")), Navigation::Accept);
    const wst::SettingsBlock& mixed = model.Result().recording.m_settings;
    EXPECT_EQ(mixed.filterMode, 1u);
    ASSERT_EQ(mixed.filterCount, 1u);
    EXPECT_EQ(mixed.entries[0].firstAddress, kNetworkHost);

    prompt.Answer(IDOK);
    ASSERT_EQ(model.BeforeNavigate(FileUrl("only.wst")), Navigation::Accept);
    const wst::SettingsBlock& only = model.Result().recording.m_settings;
    EXPECT_EQ(only.filterMode, 0u);
    ASSERT_EQ(only.filterCount, 1u);
    EXPECT_EQ(only.entries[0].firstAddress, kLoopback);

    // An exclude list is not asked about.
    ASSERT_EQ(model.BeforeNavigate(FileUrl("exclude.wst")), Navigation::Accept);
    EXPECT_EQ(prompt.Boxes().size(), 3u);
}

} // namespace
