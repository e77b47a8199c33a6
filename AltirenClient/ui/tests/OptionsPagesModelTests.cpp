// The account pages' models, the change-password check, the server's name limits and the
// preferences, without a widget: against a scripted proxy, and for a few cases against the
// real proxy, offline or on the management-server stand-in.
#include "OptionsFakes.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/OptionsPreferencesPageModel.h"
#include "AltirenUi/ProxyAccountServer.h"
#include "AltirenUi/SClientChangePwdModel.h"
#include "AltirenUi/SClientOptionsInstPageModel.h"
#include "AltirenUi/SClientOptionsLoginPageModel.h"
#include "AltirenUi/SMemoryConfigParams.h"
#include "AltirenUi/XdgAutostart.h"
#include "AltirenUiTest/GuiTest.h"

#include <Fendrel/FendrelUtils.h>
#include <MgmtServer/MgmtServer.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace optionsfakes;

namespace {

using Inst = CSClientOptionsInstPageModel;
using Login = CSClientOptionsLoginPageModel;

class OptionsModel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(XMLInitModule());
        ClientState::SetServerOnline(true);
        ASSERT_TRUE(registry.SetString("AltirenServerIP", "old.example:80"));
        ASSERT_TRUE(registry.SetString("AccountID", "ACC-7"));
        ASSERT_TRUE(CClientSettings().bSetUserDetails("ann", "Secret1", true));
    }
    void TearDown() override { ClientState::SetServerOnline(true); }

    AccountPageContext Context() {
        AccountPageContext c;
        c.prompt = &prompt;
        c.server = script.Factory();
        c.manager = [this] { return &manager; };
        return c;
    }
    static std::pair<std::string, std::string> Stored() {
        std::string user, password;
        CClientSettings().bGetUserDetails(user, password, true);
        return {user, password};
    }
    static std::string StoredServer() {
        std::string server;
        CClientSettings().bGetServerIP(server, false);
        return server;
    }
    bool Showed(const std::string& text) const {
        for (const auto& box : prompt.Boxes())
            if (box.text == text)
                return true;
        return false;
    }
    bool Showed(UINT id) const { return Showed(LoadClientString(id)); }

    guitest::TestRegistry registry;
    CScriptedPrompt prompt{};
    ServerScript script;
    FakeEmulationManager manager;
};

// ---- log-on page ----

TEST_F(OptionsModel, LogOnApplyWithNothingChangedSendsNothing) {
    Login page(Context());
    page.OnInitDialog();
    EXPECT_EQ(page.GetValues().userName, "ann");
    EXPECT_EQ(page.GetValues().password, "Secret1");
    EXPECT_EQ(page.GetValues().serverAddress, "old.example:80");
    EXPECT_TRUE(page.OnApply());
    EXPECT_TRUE(script.sent.empty());
    EXPECT_EQ(script.proxies, 0);
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_TRUE(manager.probes.empty());
}

TEST_F(OptionsModel, LogOnStoresFirstThenLaunchesAndResetsTheManager) {
    Login page(Context());
    page.OnInitDialog();
    page.GetValues().userName = "bob";
    page.GetValues().password = "Other2";
    ASSERT_TRUE(page.OnApply());
    ASSERT_EQ(script.Events(), std::vector<ServerEventType>{CLIENT_LAUNCH});
    // The request went with the new account already stored.
    EXPECT_EQ(script.sent[0].storedUser, "bob");
    EXPECT_EQ(script.sent[0].storedPassword, "Other2");
    EXPECT_EQ(Stored(), std::make_pair(std::string("bob"), std::string("Other2")));
    EXPECT_EQ(manager.resets, 1);
    // The server stayed the same: no new probe.
    EXPECT_TRUE(manager.probes.empty());
}

TEST_F(OptionsModel, ARefusedLaunchRestoresNamePasswordServerAndOnlineFlag) {
    script.replies[CLIENT_LAUNCH] = {"NOK"};
    Login page(Context());
    page.OnInitDialog();
    page.GetValues().userName = "bob";
    page.GetValues().password = "Other2";
    page.GetValues().serverAddress = "new.example:81";
    // The request takes the client offline, as a proxy request that fails does.
    script.onSend = [](ServerEventType) { ClientState::SetServerOnline(false); };
    EXPECT_FALSE(page.OnApply());
    ASSERT_EQ(script.sent.size(), 1u);
    EXPECT_EQ(script.sent[0].storedUser, "bob");
    EXPECT_EQ(Stored(), std::make_pair(std::string("ann"), std::string("Secret1")));
    EXPECT_EQ(StoredServer(), "old.example:80");
    EXPECT_TRUE(ClientState::IsServerOnline());
    EXPECT_TRUE(Showed(IDS_CHANGE_LOGIN_FAILED));
    EXPECT_EQ(prompt.Boxes()[0].flags & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(manager.resets, 0);
    // The new server address restarted the probe before the request.
    EXPECT_EQ(manager.probes, std::vector<bool>{true});
}

TEST_F(OptionsModel, AnAccountThatCannotBeStoredIsNeverSentForTheOldOne) {
    // Longer than the settings' read buffer: the store refuses it.
    const std::string tooLong(CClientSettings::kStringBufferSize + 1, 'n');
    Login login(Context());
    login.OnInitDialog();
    login.GetValues().userName = tooLong;
    login.GetValues().serverAddress = "new.example:81";
    EXPECT_FALSE(login.OnApply());
    Inst registration(Context());
    registration.OnInitDialog();
    registration.GetValues().userName = tooLong;
    EXPECT_FALSE(registration.OnApply());
    EXPECT_TRUE(script.sent.empty());
    EXPECT_EQ(Stored().first, "ann");
    EXPECT_EQ(StoredServer(), "old.example:80");
    EXPECT_TRUE(Showed(IDS_CHANGE_LOGIN_FAILED));
    EXPECT_TRUE(Showed(IDS_REGISTRATION_FAILED));
    EXPECT_EQ(manager.resets, 0);
}

TEST_F(OptionsModel, AccountBoxesFollowTheOnlineStateUnlessTheServerChanges) {
    ClientState::SetServerOnline(false);
    Login page(Context());
    page.OnInitDialog();
    EXPECT_FALSE(page.AreAccountBoxesEnabled());
    EXPECT_TRUE(page.IsChangePasswordEnabled());
    page.OnServerAddressEdited("other.example");
    EXPECT_TRUE(page.AreAccountBoxesEnabled());
    EXPECT_TRUE(page.IsChangePasswordEnabled());
    page.OnServerAddressEdited("old.example:80");
    EXPECT_FALSE(page.AreAccountBoxesEnabled());
    EXPECT_FALSE(page.IsChangePasswordEnabled());
}

// ---- change password ----

TEST_F(OptionsModel, ChangePasswordChecksConfirmAndOldPasswordExactly) {
    CSClientChangePwdModel dialog(prompt, "ann");
    auto& v = dialog.GetValues();
    v.oldPassword = "Secret1";
    v.newPassword = "Fresh9";
    v.confirmPassword = "fresh9"; // case differs
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_TRUE(Showed(IDS_PASSWORD_MISMATCH));
    EXPECT_EQ(prompt.Boxes().back().caption, LoadClientString(IDS_CAPTION_WARNING));

    v.confirmPassword = "Fresh9";
    v.oldPassword = "secret1"; // case differs
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_TRUE(Showed(IDS_OLD_PASSWORD_INVALID));
    v.oldPassword = "Secret1 ";
    EXPECT_FALSE(dialog.OnOK());

    v.oldPassword = "Secret1";
    const size_t boxes = prompt.Boxes().size();
    EXPECT_TRUE(dialog.OnOK());
    EXPECT_EQ(prompt.Boxes().size(), boxes);
}

TEST_F(OptionsModel, ChangePasswordWithoutStoredDetailsIsAnInvalidOldPassword) {
    ASSERT_EQ(registry.registry().deleteValue(platform::registry::Hive::LocalMachine,
                                              CClientSettings::kSettingsKey, "UserPassword"),
              platform::registry::kSuccess);
    CSClientChangePwdModel dialog(prompt, "ann");
    dialog.GetValues().newPassword = dialog.GetValues().confirmPassword = "x";
    EXPECT_FALSE(dialog.OnOK());
    EXPECT_TRUE(Showed(IDS_OLD_PASSWORD_INVALID));
}

TEST_F(OptionsModel, AnAcceptedPasswordChangeIsSentAndStored) {
    Login page(Context());
    page.OnInitDialog();
    std::string shownUser;
    page.OnChangePwd([&](const std::string& user) {
        shownUser = user;
        return std::optional<std::string>("Fresh9");
    });
    EXPECT_EQ(shownUser, "ann");
    ASSERT_EQ(script.Events(), std::vector<ServerEventType>{CHANGE_PASSWORD});
    EXPECT_EQ(script.sent[0].newPassword, "Fresh9");
    EXPECT_EQ(script.sent[0].storedPassword, "Secret1");
    EXPECT_EQ(Stored().second, "Fresh9");
    EXPECT_EQ(page.GetValues().password, "Fresh9");
    EXPECT_TRUE(Showed(IDS_PASSWORD_CHANGED));
    EXPECT_EQ(prompt.Boxes()[0].flags & MB_ICONMASK, MB_ICONINFORMATION);
}

TEST_F(OptionsModel, ThePasswordChangedIsStoredForTheAccountTheServerChangedItFor) {
    Login page(Context());
    page.OnInitDialog();
    // A name typed but not applied: the request still goes for the stored account.
    page.GetValues().userName = "zed";
    page.OnChangePwd([](const std::string&) { return std::optional<std::string>("Fresh9"); });
    ASSERT_EQ(script.sent.size(), 1u);
    EXPECT_EQ(script.sent[0].storedUser, "ann");
    EXPECT_EQ(Stored(), std::make_pair(std::string("ann"), std::string("Fresh9")));
}

TEST_F(OptionsModel, ARefusedOrCancelledPasswordChangeKeepsTheOldPassword) {
    script.replies[CHANGE_PASSWORD] = {"NOK"};
    Login page(Context());
    page.OnInitDialog();
    page.OnChangePwd([](const std::string&) { return std::optional<std::string>("Fresh9"); });
    EXPECT_EQ(Stored().second, "Secret1");
    EXPECT_EQ(page.GetValues().password, "Secret1");
    EXPECT_TRUE(Showed(IDS_PASSWORD_CHANGE_FAILED));

    page.OnChangePwd([](const std::string&) { return std::optional<std::string>(); });
    EXPECT_EQ(script.sent.size(), 1u);
}

// ---- registration page ----

TEST_F(OptionsModel, RegistrationAsksForTheNameAndTheMailAddressFirst) {
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().userName.clear();
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(page.FocusRequest(), Inst::kFocusUserName);
    EXPECT_TRUE(Showed(IDS_ENTER_USER_NAME));
    EXPECT_EQ(prompt.Boxes()[0].flags & MB_ICONMASK, MB_ICONEXCLAMATION);

    page.GetValues().userName = "carl";
    page.GetValues().loginType = Inst::kNewUser;
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(page.FocusRequest(), Inst::kFocusEmail);
    EXPECT_TRUE(Showed(IDS_ENTER_EMAIL));
    EXPECT_TRUE(script.sent.empty());
    EXPECT_EQ(Stored().first, "ann");
}

TEST_F(OptionsModel, RegistrationOfTheStoredAccountAsksNothing) {
    Inst page(Context());
    page.OnInitDialog();
    EXPECT_TRUE(page.OnApply());
    EXPECT_TRUE(script.sent.empty());
}

TEST_F(OptionsModel, AnUnregisteredExistingUserInstallsThenLaunches) {
    registry.SetDword("InstalledStatus", 0);
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().password = "Other2";
    ASSERT_TRUE(page.OnApply());
    EXPECT_EQ(script.Events(), (std::vector<ServerEventType>{CLIENT_INSTALL, CLIENT_LAUNCH}));
    // One proxy for the page's requests.
    EXPECT_EQ(script.sent[0].proxy, script.sent[1].proxy);
    EXPECT_EQ(script.sent[0].storedPassword, "Other2");
    bool installed = false;
    EXPECT_TRUE(CClientSettings().bGetInstalledStatus(installed));
    EXPECT_TRUE(installed);
    EXPECT_EQ(manager.resets, 1);
}

TEST_F(OptionsModel, ARefusedInstallRestoresAndStays) {
    registry.SetDword("InstalledStatus", 0);
    script.replies[CLIENT_INSTALL] = {"NOK"};
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().userName = "dora";
    page.GetValues().password = "Other2";
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(script.Events(), std::vector<ServerEventType>{CLIENT_INSTALL});
    EXPECT_EQ(Stored(), std::make_pair(std::string("ann"), std::string("Secret1")));
    EXPECT_TRUE(Showed(IDS_REGISTRATION_FAILED));
    bool installed = true;
    EXPECT_TRUE(CClientSettings().bGetInstalledStatus(installed));
    EXPECT_FALSE(installed);
}

TEST_F(OptionsModel, ARegisteredUserRefusedAtLaunchIsRestored) {
    registry.SetDword("InstalledStatus", 1);
    script.replies[CLIENT_LAUNCH] = {"NOK"};
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().password = "Other2";
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(script.Events(), std::vector<ServerEventType>{CLIENT_LAUNCH});
    EXPECT_EQ(Stored().second, "Secret1");
    // The registration page's failure is a registration's, as its help page says.
    EXPECT_TRUE(Showed(IDS_REGISTRATION_FAILED));
    EXPECT_FALSE(Showed(IDS_CHANGE_LOGIN_FAILED));
    EXPECT_EQ(manager.resets, 0);
}

TEST_F(OptionsModel, ANewUserLongerThanTheServersMaximumIsRefusedBeforeCreateUser) {
    script.replies[GET_CONFIGURABLE_PARAM] = {LimitsReply("3", "5")};
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().loginType = Inst::kNewUser;
    page.GetValues().userName = "abcdef";
    page.GetValues().email = "f@example.org";
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(script.Events(), std::vector<ServerEventType>{GET_CONFIGURABLE_PARAM});
    EXPECT_TRUE(Showed(FormatClientString(IDS_USER_NAME_TOO_LONG, 5L)));
    EXPECT_EQ(Stored().first, "ann");
}

TEST_F(OptionsModel, ANewUserWithinTheMaximumIsCreatedAndThePageWaitsForThePassword) {
    script.replies[GET_CONFIGURABLE_PARAM] = {LimitsReply("3", "5")};
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().loginType = Inst::kNewUser;
    page.GetValues().userName = "abcde";
    page.GetValues().email = "f@example.org";
    EXPECT_FALSE(page.OnApply());
    ASSERT_EQ(script.Events(), (std::vector<ServerEventType>{GET_CONFIGURABLE_PARAM, CREATE_USER}));
    EXPECT_EQ(script.sent[1].email, "f@example.org");
    EXPECT_EQ(script.sent[1].storedUser, "abcde");
    EXPECT_TRUE(Showed(FormatClientString(IDS_NEW_USER_ADDED, "f@example.org")));
    EXPECT_EQ(page.GetValues().loginType, Inst::kExistingUser);
    EXPECT_EQ(page.FocusRequest(), Inst::kFocusPassword);
    EXPECT_EQ(Stored().first, "abcde");
}

TEST_F(OptionsModel, ARefusedNewUserIsRestored) {
    script.replies[GET_CONFIGURABLE_PARAM] = {LimitsReply("3", "20")};
    script.replies[CREATE_USER] = {"NOK"};
    Inst page(Context());
    page.OnInitDialog();
    page.GetValues().loginType = Inst::kNewUser;
    page.GetValues().userName = "erin";
    page.GetValues().email = "e@example.org";
    EXPECT_FALSE(page.OnApply());
    EXPECT_TRUE(Showed(IDS_NEW_USER_FAILED));
    EXPECT_EQ(Stored().first, "ann");
}

// ---- the server's limits ----

TEST_F(OptionsModel, LimitsAreReadFromTheFirstElementsAndEveryValueIsNeeded) {
    CSMemoryConfigParams::Limits limits;
    ASSERT_TRUE(
        CSMemoryConfigParams::ParseConfigurableParams(LimitsReply("2", "12", "5", "30"), limits));
    EXPECT_EQ(limits.userMin, 2);
    EXPECT_EQ(limits.userMax, 12);
    EXPECT_EQ(limits.passwordMin, 5);
    EXPECT_EQ(limits.passwordMax, 30);
    // A value missing or not a number is no limit of zero.
    for (const std::string& reply :
         {LimitsReply("2", ""), LimitsReply("", "12"), LimitsReply("2", "12", "", "30"),
          LimitsReply("2", "12", "5", ""), LimitsReply("2", "twelve"),
          std::string("<ALTIREN_REPLY><USER_NAME_LENGTH MIN='1' MAX='9'/></ALTIREN_REPLY>"),
          std::string("OK")}) {
        CSMemoryConfigParams::Limits untouched;
        untouched.userMax = 77;
        EXPECT_FALSE(CSMemoryConfigParams::ParseConfigurableParams(reply, untouched)) << reply;
        EXPECT_EQ(untouched.userMax, 77);
    }
}

TEST_F(OptionsModel, TheNameLimitCountsCharactersNotBytes) {
    script.replies[GET_CONFIGURABLE_PARAM] = {LimitsReply("3", "5"), LimitsReply("3", "5")};
    CSMemoryConfigParams* limits = CSMemoryConfigParams::instance();
    EXPECT_TRUE(limits->CheckUserNameLengthValidity(script.Factory(), prompt,
                                                    "J\xC3\xB6rg\xC3\xA9")); // 5 of 7 bytes
    EXPECT_FALSE(limits->CheckUserNameLengthValidity(script.Factory(), prompt, "J\xC3\xB6rgen"));
}

TEST_F(OptionsModel, AReplyMissingAValueFailsTheNewUserWith61264) {
    script.replies[GET_CONFIGURABLE_PARAM] = {LimitsReply("3", "")};
    EXPECT_FALSE(CSMemoryConfigParams::instance()->CheckUserNameLengthValidity(script.Factory(),
                                                                               prompt, ""));
    EXPECT_TRUE(Showed(IDS_NEW_USER_FAILED));
}

TEST_F(OptionsModel, OfflineTheLimitsRequestGives61264) {
    ClientState::SetServerOnline(false);
    AccountPageContext c = Context();
    c.server = CProxyAccountServer::Factory();
    Inst page(c);
    page.OnInitDialog();
    page.GetValues().loginType = Inst::kNewUser;
    page.GetValues().userName = "fay";
    page.GetValues().email = "f@example.org";
    EXPECT_FALSE(page.OnApply());
    EXPECT_TRUE(Showed(IDS_NEW_USER_FAILED));
    EXPECT_EQ(Stored().first, "ann");
}

TEST_F(OptionsModel, TheLimitsObjectIsOneForEveryThread) {
    std::vector<CSMemoryConfigParams*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = CSMemoryConfigParams::instance(); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(std::set<CSMemoryConfigParams*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], CSMemoryConfigParams::instance());
}

// ---- against the management-server stand-in ----

class OptionsOnServer : public OptionsModel {
protected:
    void SetUp() override {
        OptionsModel::SetUp();
        server = std::make_unique<mgmt::MgmtServer>(mgmt::ServerOptions{});
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& s) {
            s.AddUser({"ann", "Secret1", "ACC-7", "ann@example.org"});
            s.Params() = {{"USER_NAME_LENGTH", "3", "6"}, {"PASSWORD_LENGTH", "4", "20"}};
        });
        ASSERT_TRUE(registry.SetString("AltirenServerIP", server->HostPort()));
        ASSERT_TRUE(registry.SetDword("CommunicationTimeout", 5000));
    }
    void TearDown() override {
        server->Stop();
        OptionsModel::TearDown();
    }
    AccountPageContext ProxyContext() {
        AccountPageContext c = Context();
        c.server = CProxyAccountServer::Factory();
        return c;
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> events;
        for (const mgmt::RecordedRequest& r : server->Requests())
            events.push_back(mgmt::Attribute(r.attributes, "EVENT_TYPE"));
        return events;
    }
    std::unique_ptr<mgmt::MgmtServer> server;
};

TEST_F(OptionsOnServer, ALaunchTheServerRefusesRestoresTheAccount) {
    Login page(ProxyContext());
    page.OnInitDialog();
    page.GetValues().password = "Wrong1";
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(Events(), std::vector<std::string>{"CLIENT_LAUNCH"});
    EXPECT_EQ(Stored().second, "Secret1");
    EXPECT_TRUE(Showed(IDS_CHANGE_LOGIN_FAILED));
}

TEST_F(OptionsOnServer, ANameOverTheServersLimitNeverReachesCreateUser) {
    Inst page(ProxyContext());
    page.OnInitDialog();
    page.GetValues().loginType = Inst::kNewUser;
    page.GetValues().userName = "gregory";
    page.GetValues().email = "g@example.org";
    EXPECT_FALSE(page.OnApply());
    EXPECT_EQ(Events(), std::vector<std::string>{"GET_CONFIGURABLE_PARAM"});
    EXPECT_TRUE(Showed(FormatClientString(IDS_USER_NAME_TOO_LONG, 6L)));
}

TEST_F(OptionsOnServer, APasswordChangeReachesTheServersAccount) {
    Login page(ProxyContext());
    page.OnInitDialog();
    page.OnChangePwd([](const std::string&) { return std::optional<std::string>("Fresh9"); });
    EXPECT_TRUE(Showed(IDS_PASSWORD_CHANGED));
    const mgmt::AccountStore store = server->StoreCopy();
    ASSERT_NE(store.FindUser("ann"), nullptr);
    EXPECT_EQ(store.FindUser("ann")->password, "Fresh9");
    EXPECT_EQ(Stored().second, "Fresh9");
}

// A server that accepts and then says nothing: the offline answer that follows the
// time-out agrees to no change of the account (here without an event loop, the requests
// are waited for where they are made).
TEST_F(OptionsOnServer, ASilentServerAgreesToNoChangeOfTheAccount) {
    ASSERT_TRUE(registry.SetDword("CommunicationTimeout", 300));
    ASSERT_TRUE(registry.SetDword("InstalledStatus", 1));
    mgmt::Behaviour silent;
    silent.silent = true;
    server->SetBehaviour(silent);
    const auto before = Stored();
    const std::string serverBefore = StoredServer();

    Login login(ProxyContext());
    login.OnInitDialog();
    login.GetValues().password = "Other2";
    EXPECT_FALSE(login.OnApply());
    EXPECT_TRUE(Showed(IDS_CHANGE_LOGIN_FAILED));
    EXPECT_EQ(Stored(), before);
    EXPECT_EQ(StoredServer(), serverBefore);

    // A registration times out the same way: the offline table's "OK" to CLIENT_LAUNCH
    // is no agreement.
    Inst registration(ProxyContext());
    registration.OnInitDialog();
    registration.GetValues().password = "Other2";
    EXPECT_FALSE(registration.OnApply());
    EXPECT_TRUE(Showed(IDS_REGISTRATION_FAILED));
    EXPECT_EQ(Stored(), before);

    ClientState::SetServerOnline(true);
    login.OnChangePwd([](const std::string&) { return std::optional<std::string>("Fresh9"); });
    EXPECT_TRUE(Showed(IDS_PASSWORD_CHANGE_FAILED));
    EXPECT_EQ(Stored(), before);
    EXPECT_EQ(server->StoreCopy().FindUser("ann")->password, "Secret1");
    server->ReleaseHeld();
}

// ---- preferences ----

class Preferences : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"})
            if (const char* v = std::getenv(name))
                saved[name] = v;
        ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        ::setenv("HOME", (dir.path() / "home").c_str(), 1);
        registry.registry().createKey(platform::registry::Hive::LocalMachine,
                                      CClientSettings::kRunKey);
        registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kInstallKey, "InstallFolder",
                                     platform::registry::Value::Sz("/opt/pramitone/"));
    }
    void TearDown() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            auto it = saved.find(name);
            if (it != saved.end())
                ::setenv(name, it->second.c_str(), 1);
            else
                ::unsetenv(name);
        }
    }
    std::string RunValue() const {
        platform::registry::Value value;
        if (registry.registry().queryValue(platform::registry::Hive::LocalMachine,
                                           CClientSettings::kRunKey, CClientSettings::kRunValue,
                                           value) != platform::registry::kSuccess)
            return "<none>";
        return value.text;
    }
    std::filesystem::path Entry() const {
        return dir.path() / "config" / "autostart" / "pramitone.desktop";
    }
    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    testsupport::TempDir dir{"prefs"};
    guitest::TestRegistry registry;
    std::map<std::string, std::string> saved;
};

TEST_F(Preferences, NothingIsWrittenUnlessTheBoxWasClicked) {
    COptionsPreferencesPageModel page("/usr/bin/Pramitone");
    page.OnInitDialog();
    EXPECT_FALSE(page.IsChecked());
    EXPECT_TRUE(page.OnApply());
    EXPECT_EQ(RunValue(), "<none>");
    EXPECT_FALSE(std::filesystem::exists(Entry()));

    // A stored setting is left alone as well, whatever the session's entry says.
    ASSERT_TRUE(CClientSettings().EnableStartWithWindows());
    COptionsPreferencesPageModel again("/usr/bin/Pramitone");
    again.OnInitDialog();
    EXPECT_TRUE(again.IsChecked());
    EXPECT_TRUE(again.OnApply());
    EXPECT_FALSE(std::filesystem::exists(Entry()));
}

TEST_F(Preferences, CheckingWritesTheRunValueAndTheAutostartEntryAndClearingRemovesBoth) {
    COptionsPreferencesPageModel page("/usr/bin/Pramitone");
    page.OnInitDialog();
    page.OnClicked(true);
    ASSERT_TRUE(page.OnApply());
    EXPECT_EQ(RunValue(), "\"/opt/pramitone/Pramitone.exe\" NO_SPLASH");
    const std::string entry = Read(Entry());
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nName=Pramitone\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/usr/bin/Pramitone\" NO_SPLASH\n"), std::string::npos);
    EXPECT_FALSE(page.IsChanged());

    COptionsPreferencesPageModel reopened("/usr/bin/Pramitone");
    reopened.OnInitDialog();
    EXPECT_TRUE(reopened.IsChecked());
    reopened.OnClicked(false);
    ASSERT_TRUE(reopened.OnApply());
    EXPECT_EQ(RunValue(), "<none>");
    EXPECT_FALSE(std::filesystem::exists(Entry()));
    // Clearing what is not there is no failure.
    reopened.OnClicked(false);
    EXPECT_TRUE(reopened.OnApply());
}

TEST_F(Preferences, TheEntryGoesBelowHomeWhenTheConfigFolderIsUnsetOrRelative) {
    for (const char* xdg : {"", "relative/config"}) {
        ::setenv("XDG_CONFIG_HOME", xdg, 1);
        EXPECT_EQ(CXdgAutostart::EntryPath(),
                  (dir.path() / "home" / ".config" / "autostart" / "pramitone.desktop").string());
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(CXdgAutostart::Write("/opt/My Apps/Pramitone"));
    EXPECT_NE(Read(dir.path() / "home" / ".config" / "autostart" / "pramitone.desktop")
                  .find("Exec=\"/opt/My Apps/Pramitone\" NO_SPLASH"),
              std::string::npos);
    EXPECT_TRUE(CXdgAutostart::Remove());
    EXPECT_FALSE(CXdgAutostart::Exists());
}

} // namespace
