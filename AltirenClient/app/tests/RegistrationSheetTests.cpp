// The registration loop of start-up through the real options sheet, against the
// management-server stand-in over the client's proxy: the user types a wrong password,
// is refused and stays on the page, then types the right one and start-up goes on.
#include "AppFakes.h"
#include "FakeNuvexControl.h"

#include "AltirenApp/PlatformServices.h"
#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUiTest/GuiTest.h"

#include <MgmtServer/MgmtServer.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace appfakes;

namespace {

class RegistrationSheet : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        ClientState::SetServerOnline(true);
        server = std::make_unique<mgmt::MgmtServer>(mgmt::ServerOptions{});
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& s) {
            s.AddUser({"ann", "Secret1", "ACC-7", "ann@example.org"});
        });
        registry.SetDword("InstalledStatus", 0);
        registry.SetDword("UpgradeInterval", 60000);
        registry.SetDword("CommunicationTimeout", 5000);
        registry.SetString("AltirenServerIP", server->HostPort());
        registry.SetString("AccountID", "ACC-7");
        ASSERT_TRUE(CClientSettings().bSetUserDetails("ann", "bad", true));
        registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kInstallKey, "InstallFolder",
                                     platform::registry::Value::Sz("/opt/pramitone"));
        prompt.script.SetDefaultAnswer(IDOK);
        sheetPrompt.SetDefaultAnswer(IDOK);
        services.instance = &instance;
        services.xml = &xml;
        services.adapters = &adapters;
        services.server = &proxy;
        services.shell = &shell;
        services.eventLog = &eventLog;
        services.prompt = &prompt;
        services.messageDialog = &dialog;
        services.windows = &windows;
        services.control = &control;
        windows.manager.window = &managerWindow;

        OptionsSheetSetup setup;
        setup.prompt = &sheetPrompt;
        setup.manager = [this] { return &windows.manager; };
        sheet = std::make_unique<COptionsSheet>(std::move(setup));
        windows.realSheet = sheet.get();
    }
    void TearDown() override {
        app.reset();
        sheet.reset();
        server->Stop();
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> events;
        for (const mgmt::RecordedRequest& r : server->Requests())
            events.push_back(mgmt::Attribute(r.attributes, "EVENT_TYPE"));
        return events;
    }

    QApplication& qtApp = guitest::App(); // before any widget
    guitest::TestRegistry registry;
    std::unique_ptr<mgmt::MgmtServer> server;
    FakeInstance instance;
    FakeXml xml;
    FakeAdapters adapters;
    CProxyServerChannel proxy;
    FakeShell shell;
    FakeEventLog eventLog;
    FakePrompt prompt;
    FakeMessageDialog dialog;
    FakeWindows windows;
    FakeNuvexControl control;
    QWidget managerWindow;
    guitest::CActingPrompt sheetPrompt;
    std::unique_ptr<COptionsSheet> sheet;
    AppServices services;
    std::unique_ptr<CAltirenClientApp> app;
};

TEST_F(RegistrationSheet, ARefusedPasswordStaysOnThePageAndTheRightOneRegistersTheClient) {
    bool described = false;
    bool stayedAfterRefusal = false;
    guitest::WhenModal<COptionsSheet>([&](COptionsSheet* s) {
        for (QLabel* label : s->findChildren<QLabel*>())
            described |= label->text().toStdString() == LoadClientString(IDS_SELECT_LOGIN_TYPE);
        auto* password = guitest::Find<QLineEdit>(s, IDC_INSTALL_PASSWORD);
        auto* ok = guitest::Find<QPushButton>(s, IDOK);
        ASSERT_TRUE(password && ok);
        for (const char* typed : {"Wrong2", "Secret1"}) {
            password->setFocus();
            password->selectAll();
            QTest::keyClick(password, Qt::Key_Backspace);
            QTest::keyClicks(password, typed);
            QTest::mouseClick(ok, Qt::LeftButton);
            if (std::string(typed) == "Wrong2")
                stayedAfterRefusal =
                    s->isVisible() &&
                    s->Tabs()->currentWidget() == s->Page(IOptionsSheet::kPageRegistration) &&
                    sheetPrompt.Showed(LoadClientString(IDS_REGISTRATION_FAILED));
        }
    });
    app = std::make_unique<CAltirenClientApp>(services, std::vector<std::string>{});
    ASSERT_TRUE(app->InitInstance());

    EXPECT_TRUE(described);
    EXPECT_TRUE(stayedAfterRefusal);
    EXPECT_EQ(sheet->Tabs()->count(), 2);
    // Start-up's own install with the stored password, the page's refused and accepted
    // installs, its launch; then the upgrade check and the log-on.
    EXPECT_EQ(Events(),
              (std::vector<std::string>{"CLIENT_INSTALL", "CLIENT_INSTALL", "CLIENT_INSTALL",
                                        "CLIENT_LAUNCH", "CLIENT_UPGRADE", "CLIENT_LAUNCH"}));
    bool installed = false;
    EXPECT_TRUE(CClientSettings().bGetInstalledStatus(installed));
    EXPECT_TRUE(installed);
    std::string user, password;
    ASSERT_TRUE(CClientSettings().bGetUserDetails(user, password, true));
    EXPECT_EQ(password, "Secret1");
    EXPECT_TRUE(dialog.texts.empty());
    EXPECT_NE(windows.tray, nullptr);
}

} // namespace
