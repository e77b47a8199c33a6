#include "ProxyTestFixture.h"

#include <OrvaneUtils/HttpServices.h>
#include <TestSupport/HostileHttpServer.h>

#include <regex>

static_assert(CLIENT_INSTALL == 1 && CLIENT_STOP == 5 && GET_PRESET_VALUES == 6 &&
              CHANGE_PASSWORD == 12);

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

std::vector<std::string> TempFiles(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace

TEST_F(ProxyTest, LaunchIsAnsweredOkWithEveryAttributeSentInOrder) {
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(reply, "OK");
    EXPECT_TRUE(ClientState::IsServerOnline());

    mgmt::RecordedRequest request = LastRequest();
    EXPECT_EQ(request.root, "ALTIREN_EVENT");
    EXPECT_EQ(request.xml.rfind("<ALTIREN_EVENT EVENT_TYPE='CLIENT_LAUNCH' USER='ann' "
                                "PASSWORD='Secret1' DATE='",
                                0),
              0u)
        << request.xml;
    // Document order, read from the text itself.
    const std::vector<std::string> order = {
        "EVENT_TYPE",        "USER",        "PASSWORD",      "DATE", "TIME", "CLIENT_IP",
        "CLIENT_ACCOUNT_ID", "CLIENT_HOST", "CLIENT_VERSION"};
    size_t last = 0;
    for (const std::string& name : order) {
        size_t at = request.xml.find(" " + name + "='");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    EXPECT_EQ(request.attributes.size(), order.size());
    EXPECT_TRUE(std::regex_match(mgmt::Attribute(request.attributes, "DATE"),
                                 std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
    EXPECT_TRUE(std::regex_match(mgmt::Attribute(request.attributes, "TIME"),
                                 std::regex("[0-9]{2}:[0-9]{2}")));
    EXPECT_EQ(mgmt::Attribute(request.attributes, "CLIENT_ACCOUNT_ID"), "ACC-7");
    EXPECT_EQ(mgmt::Attribute(request.attributes, "CLIENT_VERSION"), "2.5");
    EXPECT_FALSE(mgmt::Attribute(request.attributes, "CLIENT_IP").empty());
    EXPECT_EQ(request.xml.substr(request.xml.size() - 2), "/>");

    std::string url = proxy.GetRequestURL();
    EXPECT_EQ(url.rfind("http://" + server->HostPort() + "/requestevent.php?BUFFER=", 0), 0u);
    EXPECT_EQ(Count(url, "?BUFFER="), 1u);

    // The adapter that start-up chose is the client's address.
    ClientState::SetChosenAdapterAddress("198.18.0.7");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_KEEP_ALIVE), 1);
    EXPECT_EQ(mgmt::Attribute(LastRequest().attributes, "CLIENT_IP"), "198.18.0.7");
    ClientState::SetChosenAdapterAddress("");
}

TEST_F(ProxyTest, EachRequestKindGetsItsValueFromTheServer) {
    server->EditStore([](mgmt::AccountStore& s) {
        s.SetUpgradePriority("CRITICAL");
        s.Presets() = {{"LATENCY", {"7"}}};
    });
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_UPGRADE), 1);
    EXPECT_EQ(reply, "CRITICAL");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, GET_PRESET_VALUES), 1);
    EXPECT_EQ(reply, "<ALTIREN_REPLY><PRESET_VALUES TYPE='LATENCY'><PV VALUE='7'/>"
                     "</PRESET_VALUES></ALTIREN_REPLY>");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, GET_CONFIGURABLE_PARAM), 1);
    EXPECT_NE(reply.find("<USER_NAME_LENGTH MIN='3' MAX='20'/>"), std::string::npos) << reply;
    for (ServerEventType event : {CLIENT_INSTALL, CLIENT_STOP, CLIENT_SHUTDOWN, CLIENT_UNINSTALL}) {
        ASSERT_EQ(proxy.GetAltirenResponse(reply, event), 1);
        EXPECT_EQ(reply, "OK") << event;
    }

    // A new account, then a password change that the server confirms with the old one.
    SetUser("bo", "first");
    proxy.SetEmailAddress("bo@example.org");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(reply, "NOK");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CREATE_USER), 1);
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(mgmt::Attribute(LastRequest().attributes, "EMAIL"), "bo@example.org");
    proxy.SetNewPassword("second");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CHANGE_PASSWORD), 1);
    EXPECT_EQ(reply, "OK");
    mgmt::Attributes sent = LastRequest().attributes;
    EXPECT_EQ(mgmt::Attribute(sent, "NEW_PASSWORD"), "second");
    EXPECT_EQ(mgmt::Attribute(sent, "CONFIRM_PASSWORD"), "second");
    std::string xml = LastRequest().xml;
    EXPECT_LT(xml.find(" PASSWORD='first'"), xml.find(" NEW_PASSWORD='second'"));
    EXPECT_LT(xml.find(" CONFIRM_PASSWORD='second'"), xml.find(" DATE='"));
    EXPECT_EQ(server->StoreCopy().FindUser("bo")->password, "second");
    EXPECT_TRUE(ClientState::IsServerOnline());
}

TEST_F(ProxyTest, RepliesThatFailTheirChecksGiveZeroAndKeepTheClientOnline) {
    CAltirenProxy proxy;
    std::string reply;
    mgmt::Behaviour behaviour;
    behaviour.wrongNonce = true;
    server->SetBehaviour(behaviour);
    EXPECT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 0);
    EXPECT_NE(TraceText().find("Encryption failure."), std::string::npos);

    behaviour = {};
    behaviour.userOtherCase = true;
    server->SetBehaviour(behaviour);
    EXPECT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 0);
    EXPECT_NE(TraceText().find("User Details missmatch."), std::string::npos);
    EXPECT_TRUE(ClientState::IsServerOnline());

    EXPECT_EQ(proxy.ParseReplyXML(reply = "not base64 at all!", CLIENT_LAUNCH), 0);

    // Against the nonce of the last request: the password may differ in case, the
    // user name may not.
    uint32_t nonce = LastRequest().nonce;
    std::string error;
    ASSERT_TRUE(mgmt::EncodeReply("<ANY USER='ann' PASSWORD='SECRET1' PERMISSION='YES'/>", nonce,
                                  reply, error));
    EXPECT_EQ(proxy.ParseReplyXML(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(reply, "YES");
    ASSERT_TRUE(mgmt::EncodeReply("<ANY USER='Ann' PASSWORD='Secret1' PERMISSION='YES'/>", nonce,
                                  reply, error));
    EXPECT_EQ(proxy.ParseReplyXML(reply, CLIENT_LAUNCH), 0);
    ASSERT_TRUE(mgmt::EncodeReply("<ANY USER='ann' PASSWORD='Secret1' PERMISSION='YES'", nonce,
                                  reply, error));
    EXPECT_EQ(proxy.ParseReplyXML(reply, CLIENT_LAUNCH), 0);
    EXPECT_NE(TraceText().find("Parse reply XML failure."), std::string::npos);

    // No account id: nothing is sent.
    SetString("AccountID", "");
    size_t sent = server->RequestCount();
    EXPECT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 0);
    EXPECT_EQ(server->RequestCount(), sent);
    EXPECT_NE(TraceText().find("User Accuont ID regestry failure."), std::string::npos);
}

TEST_F(ProxyTest, OfflineNoConnectionIsMadeAndTheTableAnswers) {
    ClientState::SetServerOnline(false);
    CAltirenProxy proxy;
    std::string reply = "stale";
    ASSERT_EQ(proxy.GetAltirenResponse(reply, GET_PRESET_VALUES), 1);
    EXPECT_STREQ(reply.c_str(), CAltirenProxy::kBuiltInPresets);
    EXPECT_EQ(reply.rfind("<ALTIREN_REPLY><PRESET_VALUES TYPE='LATENCY'><PV VALUE='20'/>", 0), 0u);
    EXPECT_NE(reply.find("<PV VALUE='0.2'/>"), std::string::npos);
    EXPECT_NE(reply.find("<PV VALUE='15440'/>"), std::string::npos);

    const std::pair<ServerEventType, const char*> table[] = {
        {CLIENT_INSTALL, "NOK"},   {CLIENT_UNINSTALL, "NOK"},     {CREATE_USER, "NOK"},
        {CHANGE_PASSWORD, "NOK"},  {CLIENT_UPGRADE, "NOT"},       {CLIENT_LAUNCH, "OK"},
        {CLIENT_STOP, "OK"},       {CLIENT_SHUTDOWN, "OK"},       {CLIENT_KEEP_ALIVE, "OK"},
        {CLIENT_NAVIGATION, "OK"}, {GET_CONFIGURABLE_PARAM, "OK"}};
    for (const auto& [event, expected] : table) {
        ASSERT_EQ(proxy.GetAltirenResponse(reply, event), 1);
        EXPECT_EQ(reply, expected) << event;
    }
    EXPECT_EQ(server->RequestCount(), 0u);
}

TEST_F(ProxyTest, AServerErrorGivesTheOfflineAnswerAndTakesTheClientOffline) {
    mgmt::Behaviour behaviour;
    behaviour.status500 = true;
    server->SetBehaviour(behaviour);
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_INSTALL), 1);
    EXPECT_EQ(reply, "NOK");
    EXPECT_FALSE(ClientState::IsServerOnline());
    EXPECT_NE(TraceText().find("Failed to get response from server, the reason is:"),
              std::string::npos);
    // From now on nothing reaches the server.
    size_t sent = server->RequestCount();
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(server->RequestCount(), sent);
}

TEST_F(ProxyTest, AdditionalInfoOfAReplyGoesWithTheNextRequest) {
    mgmt::Behaviour behaviour;
    behaviour.additionalInfo = "session='4' & <more>";
    server->SetBehaviour(behaviour);
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_FALSE(mgmt::HasAttribute(LastRequest().attributes, "ADDITIONAL_INFO"));
    EXPECT_EQ(proxy.GetAdditionalInfo(), "session='4' & <more>");

    server->SetBehaviour({});
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_KEEP_ALIVE), 1);
    mgmt::Attributes sent = LastRequest().attributes;
    EXPECT_EQ(mgmt::Attribute(sent, "ADDITIONAL_INFO"), "session='4' & <more>");
    std::string xml = LastRequest().xml;
    EXPECT_LT(xml.find(" CLIENT_VERSION='2.5'"), xml.find(" ADDITIONAL_INFO='"));
    EXPECT_EQ(xml.substr(xml.size() - 2), "/>");
    // A reply without it clears it.
    EXPECT_EQ(proxy.GetAdditionalInfo(), "");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_KEEP_ALIVE), 1);
    EXPECT_FALSE(mgmt::HasAttribute(LastRequest().attributes, "ADDITIONAL_INFO"));
}

TEST_F(ProxyTest, ValuesWithQuotesAndMarkupRoundTripAndInjectNothing) {
    const std::string user = "o'b&<c>\"";
    const std::string password = "pa'ss";
    server->EditStore([&](mgmt::AccountStore& s) { s.AddUser({user, password, "ACC-7", ""}); });
    SetUser(user, password);
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(mgmt::Attribute(LastRequest().attributes, "USER"), user);
    EXPECT_EQ(mgmt::Attribute(LastRequest().attributes, "PASSWORD"), password);

    // A crafted name stays one value.
    const std::string crafted = "x' PERMISSION='OK";
    SetUser(crafted, "pw");
    proxy.SetEmailAddress("a'b@c");
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CREATE_USER), 1);
    mgmt::Attributes sent = LastRequest().attributes;
    EXPECT_EQ(mgmt::Attribute(sent, "USER"), crafted);
    EXPECT_EQ(mgmt::Attribute(sent, "EMAIL"), "a'b@c");
    EXPECT_FALSE(mgmt::HasAttribute(sent, "PERMISSION"));
    EXPECT_EQ(reply, "OK");
    EXPECT_NE(server->StoreCopy().FindUser(crafted), nullptr);
}

TEST_F(ProxyTest, TheRequestUrlIsBuiltAfreshForEveryRequest) {
    SetString("AltirenServerIP", "");
    SetTimeout(2000);
    CAltirenProxy proxy;
    std::string reply;
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1); // the fetch fails
    EXPECT_FALSE(ClientState::IsServerOnline());
    EXPECT_EQ(proxy.GetRequestURL().rfind("?BUFFER=", 0), 0u);
    ClientState::SetServerOnline(true);
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(proxy.GetRequestURL().rfind("?BUFFER=", 0), 0u);
    EXPECT_EQ(Count(proxy.GetRequestURL(), "?BUFFER="), 1u);

    SetString("AltirenServerIP", server->HostPort());
    ClientState::SetServerOnline(true);
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(Count(proxy.GetRequestURL(), "?BUFFER="), 1u);
}

TEST_F(ProxyTest, BrowseUrlOpensThePageOfScenarioLinks) {
    testsupport::write_file(dir / "files" / "city.wst", "w");
    testsupport::write_file(dir / "files" / "lab.tvl", "<TOPOVEL/>");
    CAltirenProxy proxy;
    std::string url;
    ASSERT_EQ(proxy.GetPageBrowseNavigateURL(url), 1);
    const std::string head = "http://" + server->HostPort() + "/browse.php/?BUFFER=";
    ASSERT_EQ(url.rfind(head, 0), 0u) << url;
    EXPECT_EQ(url.find_first_of("+/=", head.size()), std::string::npos); // escaped Base64

    CHttpServices http("Mozilla/4.0");
    std::string page, headers, error;
    ASSERT_EQ(http.eGetURLFile(url, page, headers, nullptr, 1, 1, &error, 5000), eHttpReqOK)
        << error;
    EXPECT_NE(page.find("href=\"/files/city.wst\""), std::string::npos) << page;
    EXPECT_NE(page.find("href=\"/files/lab.tvl\""), std::string::npos);
    EXPECT_EQ(mgmt::Attribute(LastRequest().attributes, "EVENT_TYPE"), "CLIENT_NAVIGATION");

    SetString("AltirenBrowser", "");
    platform::registry::Registry registry;
    registry.deleteValue(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey,
                         "AltirenBrowser");
    std::string unchanged = "u";
    EXPECT_EQ(proxy.GetPageBrowseNavigateURL(unchanged), 0);
    EXPECT_EQ(unchanged, "u");
}

TEST_F(ProxyTest, WstDownloadIsByteExactAndAFailureLeavesNoFile) {
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7) & 0xFF);
    testsupport::write_file(dir / "files" / "rec.wst", bytes);
    const std::string url = "http://" + server->HostPort() + "/files/rec.wst";

    CAltirenProxy proxy;
    proxy.SetAuthenticationDetails("ann", "Secret1", true);
    std::string path;
    ASSERT_EQ(proxy.GetAltirenWSTFile(url, path), 1);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), dir / "tmp");
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("WSTTemp", 0), 0u);
    EXPECT_EQ(testsupport::read_file(path), bytes);
    std::filesystem::remove(path);

    proxy.SetAuthenticationDetails("ann", "wrong", true);
    EXPECT_EQ(proxy.GetAltirenWSTFile(url, path), 0);
    EXPECT_TRUE(path.empty());
    proxy.SetAuthenticationDetails("ann", "Secret1", true);
    EXPECT_EQ(proxy.GetAltirenWSTFile(url + ".missing.wst", path), 0);
    EXPECT_TRUE(TempFiles(dir / "tmp").empty());
    EXPECT_NE(TraceText().find("m_oHTTPServices.bGetURLFileAndWriteToFile"), std::string::npos);
}

TEST_F(ProxyTest, TvlFetchReturnsTheTextAndGivesUpOnASilentServer) {
    testsupport::write_file(dir / "files" / "lab.tvl", "<TOPOVEL ID='1'/>");
    const std::string url = "http://" + server->HostPort() + "/files/lab.tvl";
    CAltirenProxy proxy;
    proxy.SetAuthenticationDetails("ann", "Secret1", true);
    std::string text;
    ASSERT_EQ(proxy.GetAltirenTVLBuffer(url, text), 1);
    EXPECT_EQ(text, "<TOPOVEL ID='1'/>");

    SetTimeout(300);
    mgmt::Behaviour behaviour;
    behaviour.silent = true;
    server->SetBehaviour(behaviour);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(proxy.GetAltirenTVLBuffer(url, text), 0);
    // Far below the library's own one-minute bound.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(text, "<TOPOVEL ID='1'/>");
    EXPECT_NE(TraceText().find("GetAltirenTVLBuffer Failure "), std::string::npos);
}

TEST_F(ProxyTest, ServerAddressIsResolvedWithoutItsPort) {
    CAltirenProxy proxy;
    std::string address;
    ASSERT_EQ(proxy.GetServerAddress(address), 1);
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(proxy.GetServerAddressNumber(), 0x7F000001u);
    SetString("AltirenServerIP", "localhost");
    ASSERT_EQ(proxy.GetServerAddress(address), 1);
    EXPECT_EQ(address, "127.0.0.1");
    platform::registry::Registry registry;
    registry.deleteValue(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey,
                         "AltirenServerIP");
    EXPECT_EQ(proxy.GetServerAddressNumber(), 0xFFFFFFFFu);
    std::string url = "kept";
    proxy.GetAltirenServer(url);
    EXPECT_EQ(url, "kept");
}

namespace {

// The most the hostile server below sends on one connection before it gives up.
constexpr uint64_t kHostileBytes = 256u << 20;

// A server (or anyone on the plain-HTTP path) that answers every request with a body
// that does not end.
void EndlessBody(testsupport::HostileHttpServer& s, int fd) {
    if (!s.ReadRequest(fd) || !s.Send(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"))
        return;
    const std::string run(65536, 'A');
    for (uint64_t sent = 0; sent < kHostileBytes; sent += run.size())
        if (!s.Send(fd, run))
            return;
}

} // namespace

// Server replies, scenario documents and recordings each have a size bound far above any
// real one: past it the transfer is abandoned at once, long before the time-out, and
// nothing of it is kept.
TEST_F(ProxyTest, EndlessRepliesAreCutOffAtTheirBounds) {
    testsupport::HostileHttpServer hostile(EndlessBody);
    SetString("AltirenServerIP", hostile.host_port());
    SetTimeout(15000);
    CAltirenProxy proxy;
    std::string reply;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_LAUNCH), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(reply, "OK"); // the offline answer
    EXPECT_FALSE(ClientState::IsServerOnline());
    EXPECT_NE(TraceText().find("larger than"), std::string::npos);

    std::string text = "kept";
    EXPECT_EQ(proxy.GetAltirenTVLBuffer(hostile.url("/files/lab.tvl"), text), 0);
    EXPECT_EQ(text, "kept");
    std::string path;
    EXPECT_EQ(proxy.GetAltirenWSTFile(hostile.url("/files/rec.wst"), path), 0);
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(TempFiles(dir / "tmp").empty());
    // Three transfers stopped at their bounds: far from what the server would have sent.
    EXPECT_LT(hostile.sent(), uint64_t{100} << 20);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

// The scenario download is bounded by CommunicationTimeout like every server request,
// not by the library's minute.
TEST_F(ProxyTest, TheScenarioDownloadHonoursTheCommunicationTimeout) {
    testsupport::write_file(dir / "files" / "rec.wst", "w");
    SetTimeout(300);
    mgmt::Behaviour behaviour;
    behaviour.silent = true;
    server->SetBehaviour(behaviour);
    CAltirenProxy proxy;
    proxy.SetAuthenticationDetails("ann", "Secret1", true);
    std::string path;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(proxy.GetAltirenWSTFile("http://" + server->HostPort() + "/files/rec.wst", path), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(TempFiles(dir / "tmp").empty());
}

// A server that keeps the transfer alive with a byte now and then is cut off when the
// time-out is spent: the caller's wait and the transfer end together.
TEST_F(ProxyTest, ADrippingServerIsCutOffAtTheTimeout) {
    testsupport::HostileHttpServer dripping([](testsupport::HostileHttpServer& s, int fd) {
        if (!s.ReadRequest(fd) || !s.Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"))
            return;
        for (int i = 0; i < 2000 && s.Send(fd, "A"); ++i)
            if (!s.Pause(50))
                return;
    });
    SetString("AltirenServerIP", dripping.host_port());
    SetTimeout(1000);
    CAltirenProxy proxy;
    std::string reply;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_KEEP_ALIVE), 1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(8));
    EXPECT_FALSE(ClientState::IsServerOnline());
}
