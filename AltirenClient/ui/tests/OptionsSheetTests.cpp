// The options sheet with its widgets, driven by mouse and key clicks: tabs by mask, OK
// applying the changed pages in order and staying on the first that must stay, the OK
// lock, the change-password dialog and the preferences box.
#include "OptionsFakes.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUi/HelpHook.h"
#include "AltirenUi/OptionsSheet.h"
#include "AltirenUi/ProxyAccountServer.h"
#include "AltirenUi/SClientChangePwd.h"
#include "AltirenUi/ServerWaitBox.h"
#include "AltirenUiTest/GuiTest.h"
#include "ResponsivenessProbe.h"

#include <MgmtServer/MgmtServer.h>

#include <TestSupport/TempDir.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace optionsfakes;

namespace {

// A statistics tab that applies as told.
class FakeStatisticsPage : public COptionsPage {
public:
    explicit FakeStatisticsPage(int& applies, bool& accept)
        : m_applies(applies), m_accept(accept) {}
    QString Title() const override { return "Statistics"; }
    bool OnApply() override {
        ++m_applies;
        return m_accept;
    }

private:
    int& m_applies;
    bool& m_accept;
};

class OptionsSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        guitest::App();
        ClientState::SetServerOnline(true);
        ASSERT_TRUE(registry.SetString("AltirenServerIP", "server.example:80"));
        ASSERT_TRUE(registry.SetDword("InstalledStatus", 1));
        ASSERT_TRUE(registry.SetString("AccountID", "ACC-7"));
        ASSERT_TRUE(CClientSettings().bSetUserDetails("ann", "Secret1", true));
        registry.registry().createKey(platform::registry::Hive::LocalMachine,
                                      CClientSettings::kRunKey);
        registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kInstallKey, "InstallFolder",
                                     platform::registry::Value::Sz("/opt/pramitone"));
        if (const char* v = std::getenv("XDG_CONFIG_HOME"))
            savedXdg = v;
        ::setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
    }
    void TearDown() override {
        sheet.reset();
        if (savedXdg)
            ::setenv("XDG_CONFIG_HOME", savedXdg->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }

    COptionsSheet& Make(uint32_t mask, bool withStatistics = true) {
        OptionsSheetSetup setup;
        setup.prompt = &prompt;
        setup.server = script.Factory();
        setup.manager = [this] { return &manager; };
        setup.program = "/usr/bin/Pramitone";
        if (withStatistics)
            setup.pages.statisticsPage = [this](const OptionsPageContext& context) {
                statisticsContext = context;
                return std::make_unique<FakeStatisticsPage>(statisticsApplies, statisticsAccept);
            };
        sheet = std::make_unique<COptionsSheet>(std::move(setup));
        sheet->RequestPages(mask);
        return *sheet;
    }
    std::vector<QString> TabTitles() const {
        std::vector<QString> titles;
        for (int i = 0; i < sheet->Tabs()->count(); ++i)
            titles.push_back(sheet->Tabs()->tabText(i));
        return titles;
    }
    template <class W = QWidget>
    W* Control(UINT id) {
        return guitest::Find<W>(sheet.get(), id);
    }
    void SelectTab(uint32_t bit) { sheet->Tabs()->setCurrentWidget(sheet->Page(bit)); }
    void ClickOk() { QTest::mouseClick(Control<QPushButton>(IDOK), Qt::LeftButton); }
    void Retype(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    testsupport::TempDir config{"options-config"};
    guitest::TestRegistry registry;
    guitest::CActingPrompt prompt;
    ServerScript script;
    FakeEmulationManager manager;
    std::unique_ptr<COptionsSheet> sheet;
    int statisticsApplies = 0;
    bool statisticsAccept = true;
    OptionsPageContext statisticsContext;
    std::optional<std::string> savedXdg;
};

TEST_F(OptionsSheetTest, TabsFollowTheMaskInSheetOrderWhenTheyComeAndStay) {
    Make(IOptionsSheet::kPageLogin | IOptionsSheet::kPagePreferences);
    EXPECT_EQ(sheet->windowTitle().toStdString(), LoadClientString(IDS_OPTIONS_CAPTION));
    EXPECT_TRUE(sheet->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(TabTitles(), (std::vector<QString>{"Login", "Preferences"}));
    sheet->RequestPages(0xFFFFFFFF);
    EXPECT_EQ(TabTitles(),
              (std::vector<QString>{"Registration", "Login", "Statistics", "Preferences"}));
    EXPECT_EQ(statisticsContext.prompt, &prompt);
    EXPECT_NE(statisticsContext.messageDialog, nullptr);
    // A page once added is never added again nor removed.
    sheet->RequestPages(IOptionsSheet::kPageLogin);
    EXPECT_EQ(sheet->Tabs()->count(), 4);
    EXPECT_NE(Control(IDD_OPTIONS_INSTALL), nullptr);
    EXPECT_NE(Control(IDD_OPTIONS_LOGIN), nullptr);
    EXPECT_NE(Control(IDD_OPTIONS_PREFERENCES), nullptr);

    sheet->SetDescription(IDS_SELECT_LOGIN_TYPE);
    int described = 0;
    for (QLabel* label : sheet->findChildren<QLabel*>())
        described += label->text().toStdString() == LoadClientString(IDS_SELECT_LOGIN_TYPE);
    EXPECT_EQ(described, 1);
}

TEST_F(OptionsSheetTest, WithoutAStatisticsMakerTheSheetHasNoStatisticsTab) {
    Make(0xFFFFFFFE, false);
    EXPECT_EQ(TabTitles(), (std::vector<QString>{"Login", "Preferences"}));
    EXPECT_EQ(sheet->Page(IOptionsSheet::kPageStatistics), nullptr);
}

TEST_F(OptionsSheetTest, TheFirstPageThatMustStayKeepsTheSheetOpenOnItsTab) {
    Make(0xFFFFFFFF);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    prompt.SetDefaultAnswer(IDOK);

    SelectTab(IOptionsSheet::kPageRegistration);
    Retype(Control<QLineEdit>(IDC_INSTALL_USER_NAME), "");
    SelectTab(IOptionsSheet::kPageLogin);
    Retype(Control<QLineEdit>(IDC_LOGIN_PASSWORD), "Other2");
    sheet->Page(IOptionsSheet::kPageStatistics)->SetModified(true);
    SelectTab(IOptionsSheet::kPagePreferences);

    ClickOk();
    // The registration page refused: its tab is selected, nothing later was applied.
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->Tabs()->currentWidget(), sheet->Page(IOptionsSheet::kPageRegistration));
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_ENTER_USER_NAME)));
    EXPECT_TRUE(script.sent.empty());
    EXPECT_EQ(statisticsApplies, 0);
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_INSTALL_USER_NAME));

    // The name typed back; the statistics tab refuses next.
    statisticsAccept = false;
    QTest::keyClicks(Control<QLineEdit>(IDC_INSTALL_USER_NAME), "ann");
    ClickOk();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->Tabs()->currentWidget(), sheet->Page(IOptionsSheet::kPageStatistics));
    EXPECT_EQ(script.Events(), std::vector<ServerEventType>{CLIENT_LAUNCH});
    EXPECT_EQ(statisticsApplies, 1);
    // Applied pages are no longer changed: a second OK does not apply them again.
    statisticsAccept = true;
    ClickOk();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(script.sent.size(), 1u);
    EXPECT_EQ(statisticsApplies, 2);
    EXPECT_EQ(manager.resets, 1);
}

TEST_F(OptionsSheetTest, OkDoesNothingWhileAnEmulationPlays) {
    Make(IOptionsSheet::kPageLogin);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    Retype(Control<QLineEdit>(IDC_LOGIN_PASSWORD), "Other2");
    sheet->EnableOkButton(false);
    EXPECT_FALSE(Control(IDOK)->isEnabled());
    ClickOk();
    QMetaObject::invokeMethod(sheet.get(), "accept");
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(script.sent.empty());
    sheet->EnableOkButton(true);
    ClickOk();
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(OptionsSheetTest, TheLoginTypeSwitchesBetweenMailAddressAndPassword) {
    Make(IOptionsSheet::kPageRegistration);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    EXPECT_TRUE(Control<QRadioButton>(IDC_INSTALL_EXISTING_USER)->isChecked());
    EXPECT_TRUE(Control(IDC_INSTALL_PASSWORD)->isEnabled());
    EXPECT_FALSE(Control(IDC_INSTALL_EMAIL)->isEnabled());
    EXPECT_EQ(Control<QLineEdit>(IDC_INSTALL_USER_NAME)->text(), "ann");
    EXPECT_FALSE(sheet->Page(IOptionsSheet::kPageRegistration)->IsModified());
    // On the button's indicator: the row is wider than the button's text.
    QWidget* newUser = Control(IDC_INSTALL_NEW_USER);
    QTest::mouseClick(newUser, Qt::LeftButton, {}, QPoint(6, newUser->height() / 2));
    EXPECT_FALSE(Control(IDC_INSTALL_PASSWORD)->isEnabled());
    EXPECT_TRUE(Control(IDC_INSTALL_EMAIL)->isEnabled());
    EXPECT_TRUE(sheet->Page(IOptionsSheet::kPageRegistration)->IsModified());
    // New user without an address: the address box gets the focus.
    ClickOk();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_ENTER_EMAIL)));
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_INSTALL_EMAIL));
}

TEST_F(OptionsSheetTest, ChangePasswordGoesThroughItsDialog) {
    Make(IOptionsSheet::kPageLogin);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    prompt.SetDefaultAnswer(IDOK);
    guitest::WhenModal<CSClientChangePwd>([this](CSClientChangePwd* dialog) {
        EXPECT_EQ(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_USER)->text(), "ann");
        EXPECT_TRUE(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_USER)->isReadOnly());
        QTest::keyClicks(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_OLD), "Secret1");
        QTest::keyClicks(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_NEW), "Fresh9");
        QTest::keyClicks(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_CONFIRM), "Fresh8");
        QTest::mouseClick(guitest::Find<QPushButton>(dialog, IDOK), Qt::LeftButton);
        // The mismatch keeps the dialog up.
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_PASSWORD_MISMATCH)));
        QTest::keyClick(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_CONFIRM),
                        Qt::Key_Backspace);
        QTest::keyClicks(guitest::Find<QLineEdit>(dialog, IDC_CHANGE_PWD_CONFIRM), "9");
        QTest::mouseClick(guitest::Find<QPushButton>(dialog, IDOK), Qt::LeftButton);
    });
    QTest::mouseClick(Control(IDC_LOGIN_CHANGE_PASSWORD), Qt::LeftButton);
    ASSERT_EQ(script.Events(), std::vector<ServerEventType>{CHANGE_PASSWORD});
    EXPECT_EQ(script.sent[0].newPassword, "Fresh9");
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_PASSWORD_CHANGED)));
    EXPECT_EQ(Control<QLineEdit>(IDC_LOGIN_PASSWORD)->text(), "Fresh9");
    std::string user, password;
    ASSERT_TRUE(CClientSettings().bGetUserDetails(user, password, true));
    EXPECT_EQ(password, "Fresh9");
}

TEST_F(OptionsSheetTest, ThePreferencesBoxIsWrittenByOk) {
    Make(IOptionsSheet::kPagePreferences);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    auto* box = Control<QCheckBox>(IDC_START_WITH_SYSTEM);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Start Pramitone when I start Windows");
    EXPECT_FALSE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    ClickOk();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(CClientSettings().IsStartWithWindows());
    EXPECT_TRUE(std::filesystem::exists(config.path() / "autostart" / "pramitone.desktop"));
}

TEST_F(OptionsSheetTest, HelpOnTheRegistrationPageAsksForTheLogOnOptionsTopic) {
    Make(IOptionsSheet::kPageRegistration | IOptionsSheet::kPageLogin);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    std::vector<UINT> asked;
    HelpHook::SetHandler([&](UINT id) {
        asked.push_back(id);
        return true;
    });
    SelectTab(IOptionsSheet::kPageRegistration);
    Control(IDC_INSTALL_USER_NAME)->setFocus();
    QTest::keyClick(Control(IDC_INSTALL_USER_NAME), Qt::Key_F1);
    SelectTab(IOptionsSheet::kPageLogin);
    Control(IDC_LOGIN_SERVER)->setFocus();
    QTest::keyClick(Control(IDC_LOGIN_SERVER), Qt::Key_F1);
    HelpHook::SetHandler({});
    EXPECT_EQ(asked, (std::vector<UINT>{IDS_LOGIN_OPTIONS_TOPIC, IDC_LOGIN_SERVER}));
}

TEST_F(OptionsSheetTest, TheProviderMakesOneSheetForEveryCopy) {
    const OptionsSheetProvider provider = COptionsSheet::Provider({});
    const OptionsSheetProvider copy = provider;
    IOptionsSheet* first = provider();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(copy(), first);
    first->RequestPages(0xFFFFFFFE);
    EXPECT_EQ(static_cast<COptionsSheet*>(first)->Tabs()->count(), 2);
}

// A window that is the manager, as the sheet's owner is when the manager opens it.
class ManagerWidget : public QWidget, public FakeEmulationManager {};

TEST_F(OptionsSheetTest, WithoutAManagerGivenTheSheetTakesTheWindowItRunsOver) {
    OptionsSheetSetup setup;
    setup.prompt = &prompt;
    setup.server = script.Factory();
    sheet = std::make_unique<COptionsSheet>(std::move(setup));
    sheet->RequestPages(IOptionsSheet::kPageLogin);
    ManagerWidget owner;
    guitest::WhenModal<COptionsSheet>([this](COptionsSheet* s) {
        Retype(guitest::Find<QLineEdit>(s, IDC_LOGIN_PASSWORD), "Other2");
        QTest::mouseClick(guitest::Find<QPushButton>(s, IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(sheet->RunModal(&owner), IDOK);
    EXPECT_EQ(script.Events(), std::vector<ServerEventType>{CLIENT_LAUNCH});
    EXPECT_EQ(owner.resets, 1);
}

TEST_F(OptionsSheetTest, ARunOpensItsPagesAfreshAfterACancel) {
    Make(IOptionsSheet::kPageLogin | IOptionsSheet::kPageStatistics);
    guitest::WhenModal<COptionsSheet>([this](COptionsSheet* s) {
        Retype(guitest::Find<QLineEdit>(s, IDC_LOGIN_PASSWORD), "Other2");
        s->Page(IOptionsSheet::kPageStatistics)->SetModified(true);
        QTest::mouseClick(guitest::Find<QPushButton>(s, IDCANCEL), Qt::LeftButton);
    });
    EXPECT_EQ(sheet->RunModal(nullptr), IDCANCEL);
    QString shown;
    guitest::WhenModal<COptionsSheet>([&](COptionsSheet* s) {
        shown = guitest::Find<QLineEdit>(s, IDC_LOGIN_PASSWORD)->text();
        QTest::mouseClick(guitest::Find<QPushButton>(s, IDOK), Qt::LeftButton);
    });
    EXPECT_EQ(sheet->RunModal(nullptr), IDOK);
    EXPECT_EQ(shown, "Secret1");
    EXPECT_TRUE(script.sent.empty());
    EXPECT_EQ(statisticsApplies, 0);
    EXPECT_EQ(TabTitles(), (std::vector<QString>{"Login", "Statistics"}));
}

// The registration sheet of a first start: the server address typed on the Login tab and
// the account typed on the Registration tab are what is registered and kept.
TEST_F(OptionsSheetTest, WhatWasTypedOnEitherTabIsWhatIsUsed) {
    ASSERT_TRUE(registry.SetString("AltirenServerIP", ""));
    ASSERT_TRUE(registry.SetDword("InstalledStatus", 0));
    Make(IOptionsSheet::kPageRegistration | IOptionsSheet::kPageLogin, false);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    std::vector<std::string> serverAtRequest;
    script.onSend = [&](ServerEventType) {
        std::string server;
        CClientSettings().bGetServerIP(server, false);
        serverAtRequest.push_back(server);
    };

    SelectTab(IOptionsSheet::kPageLogin);
    Retype(Control<QLineEdit>(IDC_LOGIN_SERVER), "198.18.0.9:8080");
    SelectTab(IOptionsSheet::kPageRegistration);
    Retype(Control<QLineEdit>(IDC_INSTALL_USER_NAME), "dora");
    Retype(Control<QLineEdit>(IDC_INSTALL_PASSWORD), "Dora5pw");
    ClickOk();

    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(script.Events(), (std::vector<ServerEventType>{CLIENT_INSTALL, CLIENT_LAUNCH}));
    EXPECT_EQ(serverAtRequest, (std::vector<std::string>{"198.18.0.9:8080", "198.18.0.9:8080"}));
    std::string server, user, password;
    ASSERT_TRUE(CClientSettings().bGetServerIP(server, false));
    ASSERT_TRUE(CClientSettings().bGetUserDetails(user, password, true));
    EXPECT_EQ(server, "198.18.0.9:8080");
    EXPECT_EQ(user, "dora");
    EXPECT_EQ(password, "Dora5pw");
}

// Without an account the registration says so rather than blaming the server.
TEST_F(OptionsSheetTest, ARegistrationWithoutAnAccountSaysTheAccountIsMissing) {
    registry.registry().deleteValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kSettingsKey, "AccountID");
    Make(IOptionsSheet::kPageRegistration, false);
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    prompt.SetDefaultAnswer(IDOK);
    Retype(Control<QLineEdit>(IDC_INSTALL_PASSWORD), "Other2");
    ClickOk();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_ACCOUNT_MISSING)));
    EXPECT_FALSE(prompt.Showed(LoadClientString(IDS_REGISTRATION_FAILED)));
    EXPECT_TRUE(script.sent.empty());
}

// A log-on change against a server that accepts and says nothing: the sheet waits with
// the windows answering, a box offers Cancel, and a cancel keeps the old account.
TEST_F(OptionsSheetTest, ALogOnChangeWaitsWithoutHoldingTheWindowsAndACancelKeepsTheAccount) {
    mgmt::MgmtServer server{mgmt::ServerOptions{}};
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    mgmt::Behaviour silent;
    silent.silent = true;
    server.SetBehaviour(silent);
    ASSERT_TRUE(registry.SetString("AltirenServerIP", server.HostPort()));
    ASSERT_TRUE(registry.SetDword("CommunicationTimeout", 5000));
    OptionsSheetSetup setup;
    setup.prompt = &prompt;
    setup.server = CProxyAccountServer::Factory();
    setup.manager = [this] { return &manager; };
    sheet = std::make_unique<COptionsSheet>(std::move(setup));
    sheet->RequestPages(IOptionsSheet::kPageLogin);
    QWidget window; // the manager window beside the sheet
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(guitest::ShowAndWait(sheet.get()));
    prompt.SetDefaultAnswer(IDOK);
    Retype(Control<QLineEdit>(IDC_LOGIN_PASSWORD), "Other2");

    guitest::ResponsivenessProbe probe(&window);
    bool boxShown = false;
    qint64 cancelledIn = -1;
    QElapsedTimer clock;
    guitest::WhenModal<CServerWaitBox>([&](CServerWaitBox* box) {
        boxShown = true;
        QTest::qWait(300);
        QElapsedTimer cancel;
        cancel.start();
        QTest::mouseClick(guitest::Find<QPushButton>(box, IDCANCEL), Qt::LeftButton);
        cancelledIn = cancel.elapsed();
    });
    clock.start();
    ClickOk();
    const qint64 waited = clock.elapsed();
    probe.Stop();

    EXPECT_TRUE(boxShown);
    EXPECT_GE(cancelledIn, 0);
    EXPECT_LT(cancelledIn, 100);
    EXPECT_LT(waited, 3000); // the cancel ended the wait, not the time-out
    EXPECT_GT(probe.Samples(), 10u);
    // Input is answered within 100 ms; a stall of the loaded test machine is no request
    // held on the GUI thread, which would hold every event for the whole 5 s time-out.
    EXPECT_LT(probe.PercentileMs(0.95), 100) << "longest " << probe.LongestMs() << " ms";
    EXPECT_LT(probe.LongestMs(), 2000);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(prompt.Showed(LoadClientString(IDS_CHANGE_LOGIN_FAILED)));
    std::string user, password;
    ASSERT_TRUE(CClientSettings().bGetUserDetails(user, password, true));
    EXPECT_EQ(password, "Secret1");
    server.Stop();
}

} // namespace
