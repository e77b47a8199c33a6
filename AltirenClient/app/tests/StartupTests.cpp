// The application's start-up, step by step, against fakes of every service.
#include "AppFakes.h"
#include "FakeNuvexControl.h"

#include "AltirenClient/ClientState.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

using namespace appfakes;

namespace {

class StartupTest : public ::testing::Test {
protected:
    using DWORD = CClientSettings::DWORD;
    void SetUp() override {
        guitest::App();
        registry.SetDword("InstalledStatus", 1);
        registry.SetDword("UpgradeInterval", 60000);
        registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kInstallKey, "InstallFolder",
                                     platform::registry::Value::Sz("/opt/pramitone"));
        registry.registry().setValue(platform::registry::Hive::LocalMachine,
                                     CClientSettings::kInstallKey, "HelpFolder",
                                     platform::registry::Value::Sz("/usr/share/pramitone/help"));
        prompt.script.SetDefaultAnswer(IDOK);
        services.instance = &instance;
        services.xml = &xml;
        services.adapters = &adapters;
        services.server = &server;
        services.shell = &shell;
        services.eventLog = &eventLog;
        services.prompt = &prompt;
        services.messageDialog = &dialog;
        services.windows = &windows;
        services.control = &control;
        windows.manager.window = &managerWindow;
    }

    CAltirenClientApp& App(std::vector<std::string> arguments = {}) {
        app = std::make_unique<CAltirenClientApp>(services, std::move(arguments));
        return *app;
    }
    bool Showed(UINT textId) const {
        for (const auto& box : prompt.script.Boxes())
            if (box.text == LoadClientString(textId))
                return true;
        return false;
    }
    DWORD StoredAdapter() {
        DWORD index = 0xDEAD;
        CClientSettings().bGetQuellinNumber(index);
        return index;
    }

    QApplication& qtApp = guitest::App(); // before any widget
    guitest::TestRegistry registry;
    FakeInstance instance;
    FakeXml xml;
    FakeAdapters adapters;
    FakeServer server;
    FakeShell shell;
    FakeEventLog eventLog;
    FakePrompt prompt;
    FakeMessageDialog dialog;
    FakeWindows windows;
    FakeNuvexControl control;
    QWidget managerWindow;
    AppServices services;
    std::unique_ptr<CAltirenClientApp> app;
};

TEST_F(StartupTest, AStartRunsEveryStepInOrderAndSitsInTheTray) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    EXPECT_EQ(xml.initialises, 1);
    EXPECT_EQ(windows.managerCreations, 1);
    EXPECT_EQ(windows.frameManager, &windows.manager);
    EXPECT_EQ(windows.title, "{2F868024-AD08-4108-8D75-0F9FD9715B9E}");
    EXPECT_EQ(windows.context.application, &a);
    EXPECT_EQ(windows.context.driver, &a.DriverMngr());
    // Upgrade check, then log-on.
    EXPECT_EQ(server.sent, (std::vector<ServerEventType>{CLIENT_UPGRADE, CLIENT_LAUNCH}));
    EXPECT_TRUE(a.UpgradeTimer().isActive());
    EXPECT_EQ(a.UpgradeTimer().interval(), 60000);
    // Splash program under the install folder, with the version and the bitmap.
    ASSERT_EQ(shell.programs.size(), 1u);
    EXPECT_EQ(shell.programs[0], "/opt/pramitone/Splash.exe");
    EXPECT_EQ(shell.arguments, (std::vector<std::string>{"V2.5", "/opt/pramitone/Splash.bmp"}));
    // The tray: ten animation pictures, the icon with its tool tip.
    ASSERT_NE(windows.tray, nullptr);
    std::vector<UINT> frames = {302, 303, 304, 305, 306, 307, 308, 309, 310, 311};
    EXPECT_EQ(windows.tray->animation, frames);
    EXPECT_EQ(windows.tray->addedIcon, 128u);
    EXPECT_EQ(windows.tray->toolTip, "Pramitone");
    EXPECT_TRUE(windows.shownStates.empty());
    EXPECT_TRUE(prompt.script.Boxes().empty());
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "198.18.0.1");
    EXPECT_EQ(StoredAdapter(), 0u);

    EXPECT_EQ(a.ExitInstance(0), 0);
    EXPECT_FALSE(a.UpgradeTimer().isActive());
    EXPECT_EQ(instance.closes, 1);
    EXPECT_EQ(windows.destroys, 1);
    EXPECT_EQ(xml.terminates, 1);
}

// The desktop's application object sets the C library's locale from the user's; the
// client's number texts ("%.1f" of the string table, typed bandwidths read back) keep the
// point whatever that locale writes.
TEST_F(StartupTest, NumbersAreConvertedWithThePointWhateverTheUsersLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    // A locale with a decimal comma where one is installed.
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
    }
    const bool started = App().InitInstance();
    const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 2.4);
    const double read = std::strtod("15.5", nullptr);
    std::setlocale(LC_NUMERIC, previous.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(numeric, "C");
    EXPECT_STREQ(text, "2.4");
    EXPECT_EQ(read, 15.5);
}

TEST_F(StartupTest, AnUpgradeIntervalOfZeroDoesNotSpinTheTimer) {
    registry.SetDword("UpgradeInterval", 0);
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    EXPECT_EQ(a.UpgradeTimer().interval(), 10);
}

TEST_F(StartupTest, ASecondStartHandsOverWithShowStateFiveAndExitsSilently) {
    instance.first = false;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_TRUE(a.HandedOver());
    EXPECT_EQ(instance.sentStates, (std::vector<int>{5}));
    EXPECT_EQ(a.StartupExitCode(), 0);
    EXPECT_EQ(windows.managerCreations, 0);
    EXPECT_EQ(xml.initialises, 0);
    EXPECT_TRUE(prompt.script.Boxes().empty());
    a.ExitInstance(a.StartupExitCode());
    EXPECT_EQ(instance.closes, 0); // the first instance's lock is not ours
}

// A start refused for another reason than a first instance that shows its window says
// why (and on stderr), and fails.
TEST_F(StartupTest, ASecondStartWhileTheFirstDoesNotAnswerSaysSoAndFails) {
    instance.first = false;
    instance.firstAnswers = false;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_FALSE(a.HandedOver());
    EXPECT_EQ(a.StartupExitCode(), 1);
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(prompt.script.Boxes()[0].text, LoadClientString(IDS_INSTANCE_NOT_ANSWERING));
    EXPECT_EQ(prompt.script.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(windows.managerCreations, 0);
}

TEST_F(StartupTest, AGuardThatCannotBeUsedRefusesTheStartWithItsReason) {
    instance.first = false;
    instance.problem = "its lock file /run/user/7/AltirenPreventSecondInstance.lock cannot be "
                       "opened (Permission denied).";
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_TRUE(instance.sentStates.empty()); // nobody to hand over to
    EXPECT_EQ(a.StartupExitCode(), 1);
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(prompt.script.Boxes()[0].text,
              "Pramitone cannot start: its lock file "
              "/run/user/7/AltirenPreventSecondInstance.lock cannot be opened (Permission "
              "denied).");
    EXPECT_EQ(xml.initialises, 0);
}

TEST_F(StartupTest, ShowRequestsReachTheManagerOnlyWhileItsWindowExists) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    ASSERT_TRUE(instance.handler);
    instance.handler(5);
    EXPECT_EQ(windows.shownStates, (std::vector<int>{5}));
    windows.manager.exists = false;
    instance.handler(5);
    EXPECT_EQ(windows.shownStates.size(), 1u);
}

TEST_F(StartupTest, NoSplashInLowerCaseSuppressesTheSplashAndIsNoDocument) {
    CAltirenClientApp& a = App({"no_splash"});
    ASSERT_TRUE(a.InitInstance());
    EXPECT_TRUE(shell.programs.empty());
    EXPECT_FALSE(a.SplashShown());
}

TEST_F(StartupTest, ASplashThatCannotStartOrHasNoFolderIsOnlyTraced) {
    shell.starts = false;
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(shell.programs.size(), 1u);

    registry.registry().deleteValue(platform::registry::Hive::LocalMachine,
                                    CClientSettings::kInstallKey, "InstallFolder");
    FakeInstance second;
    services.instance = &second;
    shell.programs.clear();
    CAltirenClientApp& b = App();
    ASSERT_TRUE(b.InitInstance());
    EXPECT_TRUE(shell.programs.empty());
    EXPECT_TRUE(prompt.script.Boxes().empty());
}

TEST_F(StartupTest, AnXmlFailureRunsTheOtherChecksAndQuitsWithOne) {
    xml.fails = true;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_GE(control.statusCalls, 1); // the driver check still ran
    EXPECT_GE(adapters.lists, 1);      // and the adapter check
    EXPECT_EQ(windows.managerCreations, 0);
    a.ExitInstance(a.StartupExitCode());
    EXPECT_EQ(xml.terminates, 0);
}

TEST_F(StartupTest, DecliningTheResetOfAPlayingDriverQuitsWithZero) {
    control.statusState = 1;
    prompt.script.Answer(IDCANCEL);
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(a.QuitRequest(), 0);
    EXPECT_EQ(a.StartupExitCode(), 0);
    EXPECT_EQ(control.resetCalls, 0);
    EXPECT_TRUE(Showed(IDS_PREVIOUS_EMULATION_PLAYING));
    EXPECT_EQ(windows.managerCreations, 0);
}

TEST_F(StartupTest, AFailedResetEndsStartUpAfterItsMessage) {
    control.statusState = 1;
    control.resetResult = 87;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(control.resetCalls, 1);
    EXPECT_TRUE(Showed(IDS_PREVIOUS_EMULATION_RESET_FAILED));
    EXPECT_EQ(a.StartupExitCode(), 1);
}

TEST_F(StartupTest, AResetThatWorksGoesOn) {
    control.statusState = 1;
    EXPECT_TRUE(App().InitInstance());
    EXPECT_EQ(control.resetCalls, 1);
}

TEST_F(StartupTest, NoDriverAdapterShowsItsMessageAndEndsStartUp) {
    control.adapterCount = 0;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(prompt.script.Boxes()[0].text, LoadClientString(IDS_NO_ADAPTER));
    EXPECT_EQ(prompt.script.Boxes()[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(a.StartupExitCode(), 1);
}

TEST_F(StartupTest, NoAdapterWithAnAddressShowsItsMessageAndEndsStartUp) {
    adapters.addresses["eth0"] = "0.0.0.0";
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_TRUE(Showed(IDS_NO_VALID_ADAPTER));
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_EQ(a.DriverMngr().GetActiveAdapterAddress(), "");
}

TEST_F(StartupTest, ADaemonThatCannotBeReachedIsNamedWithItsControlDevice) {
    control.adapterCount = 65535; // what the count reads when the device cannot be opened
    adapters.opens = false;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(prompt.script.Boxes()[0].text,
              FormatClientString(IDS_DRIVER_UNREACHABLE, CDriverMngr::ControlDevicePath().c_str()));
    EXPECT_FALSE(Showed(IDS_NO_VALID_ADAPTER));
    EXPECT_EQ(a.StartupExitCode(), 1);
}

TEST_F(StartupTest, AManagerWindowThatCannotBeMadeEndsStartUp) {
    windows.makesManager = false;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_TRUE(server.sent.empty());
}

TEST_F(StartupTest, AMainFrameThatCannotBeMadeEndsStartUp) {
    windows.makesFrame = false;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_TRUE(server.sent.empty());
}

TEST_F(StartupTest, UninstallSendsItsRequestAndExits) {
    ClientState::SetServerOnline(false);
    CAltirenClientApp& a = App({"uninstall"});
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(server.sent, (std::vector<ServerEventType>{CLIENT_UNINSTALL}));
    EXPECT_TRUE(ClientState::IsServerOnline());
    EXPECT_EQ(a.StartupExitCode(), 0);
    EXPECT_EQ(windows.frameManager, nullptr);
}

TEST_F(StartupTest, AnUnregisteredClientLoopsThroughRegistrationUntilTheServerSaysOk) {
    registry.SetDword("InstalledStatus", 0);
    server.replies[CLIENT_INSTALL] = {"NOK", "NOK", "OK"};
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    EXPECT_EQ(windows.sheet.runs, 2);
    EXPECT_EQ(windows.sheet.mask, IOptionsSheet::kPageRegistration | IOptionsSheet::kPageLogin);
    EXPECT_EQ(windows.sheet.description, IDS_SELECT_LOGIN_TYPE);
    // The refusal after the first sheet is told; the answer after the second is OK.
    int refusals = 0;
    for (const auto& box : prompt.script.Boxes())
        refusals += box.text == LoadClientString(IDS_REGISTER_FAILED);
    EXPECT_EQ(refusals, 1);
    bool installed = false;
    EXPECT_TRUE(CClientSettings().bGetInstalledStatus(installed));
    EXPECT_TRUE(installed);
    EXPECT_EQ(server.Count(CLIENT_INSTALL), 3);
}

TEST_F(StartupTest, PagesThatRegisterTheUserEndTheLoop) {
    registry.SetDword("InstalledStatus", 0);
    server.replies[CLIENT_INSTALL] = {"NOK"};
    windows.sheet.onRun = [this] { registry.SetDword("InstalledStatus", 1); };
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(windows.sheet.runs, 1);
    EXPECT_EQ(server.Count(CLIENT_INSTALL), 1);
}

TEST_F(StartupTest, ACancelledRegistrationIsReportedInTheMessageDialog) {
    registry.SetDword("InstalledStatus", 0);
    server.replies[CLIENT_INSTALL] = {"NOK"};
    windows.sheet.answer = IDCANCEL;
    dialog.tick = true;
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    ASSERT_EQ(dialog.texts.size(), 1u);
    EXPECT_EQ(dialog.texts[0], LoadClientString(IDS_REGISTER_FAILED));
    EXPECT_EQ(dialog.captions[0], LoadClientString(IDS_CAPTION_ERROR));
    EXPECT_EQ(dialog.flagsShown[0] & MB_ICONMASK, MB_ICONERROR);
    // The ticked box switches the dialog off for later starts.
    EXPECT_FALSE(CClientSettings().IsBootMessage());
    EXPECT_TRUE(eventLog.texts.empty());
    EXPECT_EQ(a.StartupExitCode(), 1);
}

TEST_F(StartupTest, RegistrationWithoutAnOptionsSheetFails) {
    registry.SetDword("InstalledStatus", 0);
    server.replies[CLIENT_INSTALL] = {"NOK"};
    windows.hasSheet = false;
    EXPECT_FALSE(App().InitInstance());
    EXPECT_EQ(dialog.texts.size(), 1u);
}

TEST_F(StartupTest, AFailedLogOnWithBootMessageOffGoesOnlyToTheEventLog) {
    registry.SetDword("BootMessage", 0);
    server.replies[CLIENT_LAUNCH] = {"NOK"};
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_TRUE(dialog.texts.empty());
    ASSERT_EQ(eventLog.texts.size(), 1u);
    EXPECT_EQ(eventLog.texts[0], LoadClientString(IDS_LOGON_FAILED));
    EXPECT_EQ(eventLog.ids[0], 0xC0000004ul);
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_EQ(windows.tray, nullptr);
}

TEST_F(StartupTest, ASecondLaunchLogsOnARegisteredClient) {
    server.replies[CLIENT_LAUNCH] = {"NOK", "OK"};
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(server.sent,
              (std::vector<ServerEventType>{CLIENT_UPGRADE, CLIENT_LAUNCH, CLIENT_LAUNCH}));
}

TEST_F(StartupTest, LogOnOfAClientThatLostItsRegistrationRegistersFirst) {
    // Registered at step 12 by the sheet, unregistered again before log-on.
    server.replies[CLIENT_LAUNCH] = {"NOK", "OK"};
    server.onSend = [this](ServerEventType e) {
        if (e == CLIENT_UPGRADE)
            registry.SetDword("InstalledStatus", 0);
    };
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(server.sent, (std::vector<ServerEventType>{CLIENT_UPGRADE, CLIENT_LAUNCH,
                                                         CLIENT_INSTALL, CLIENT_LAUNCH}));
}

TEST_F(StartupTest, ADeclinedNormalUpgradeIsNotAskedAgainInTheRun) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    prompt.script.Answer(IDCANCEL);
    a.OnCheckUpgrade();
    EXPECT_TRUE(a.IsUpgradeDeclined());
    ASSERT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(prompt.script.Boxes()[0].text, LoadClientString(IDS_UPGRADE_AVAILABLE));
    EXPECT_EQ(prompt.script.Boxes()[0].flags, MB_OKCANCEL | MB_ICONINFORMATION);
    a.OnCheckUpgrade();
    a.OnCheckUpgrade();
    EXPECT_EQ(prompt.script.Boxes().size(), 1u);
    EXPECT_EQ(server.Count(CLIENT_UPGRADE), 4);
    EXPECT_FALSE(a.QuitRequest());
}

TEST_F(StartupTest, AnAcceptedNormalUpgradeOpensTheDownloadPageAndQuitsWithOne) {
    registry.SetString("AltirenServerIP", "198.18.0.2:8080");
    registry.SetString("AccountID", "ACME");
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    a.OnCheckUpgrade();
    ASSERT_EQ(shell.urls.size(), 1u);
    EXPECT_EQ(shell.urls[0], "http://198.18.0.2:8080/Accounts/ACME/Downloads/DownLoadClient.php");
    EXPECT_EQ(a.QuitRequest(), 1);
}

TEST_F(StartupTest, AnUpgradePageTheDesktopCannotOpenDoesNotQuit) {
    registry.SetString("AltirenServerIP", "198.18.0.2");
    registry.SetString("AccountID", "ACME");
    shell.opens = false;
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    a.OnCheckUpgrade();
    EXPECT_EQ(shell.urls.size(), 1u);
    EXPECT_FALSE(a.QuitRequest());
}

TEST_F(StartupTest, ANormalUpgradeAcceptedWhilePlayingStopsThroughTheManagerWindow) {
    registry.SetString("AltirenServerIP", "198.18.0.2");
    registry.SetString("AccountID", "ACME");
    shell.opens = false; // the client goes on: its window must not claim to play
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    CPlayParams params;
    ASSERT_EQ(a.DriverMngr().Play(params.get()), 1);
    windows.manager.stopped = false;
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    a.OnCheckUpgrade(); // OK to the upgrade, OK to stopping the play
    EXPECT_TRUE(Showed(IDS_UPGRADE_WHILE_PLAYING));
    EXPECT_EQ(windows.manager.playStops, 1);
    EXPECT_TRUE(windows.manager.IsStopped());
    EXPECT_FALSE(a.DriverMngr().IsPlaying());
    EXPECT_FALSE(a.QuitRequest());
}

TEST_F(StartupTest, AnUpgradeWithoutAnAccountDoesNotQuit) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    a.OnCheckUpgrade();
    EXPECT_TRUE(shell.urls.empty());
    EXPECT_FALSE(a.QuitRequest());
}

TEST_F(StartupTest, ACriticalUpgradeStopsAPlayingEmulationAndQuitsWithOne) {
    registry.SetString("AltirenServerIP", "198.18.0.2");
    registry.SetString("AccountID", "ACME");
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    CPlayParams params;
    ASSERT_EQ(a.DriverMngr().Play(params.get()), 1);
    server.replies[CLIENT_UPGRADE] = {"CRITICAL"};
    a.OnCheckUpgrade();
    EXPECT_EQ(control.stopCalls, 1);
    EXPECT_FALSE(a.DriverMngr().IsPlaying());
    ASSERT_FALSE(prompt.script.Boxes().empty());
    EXPECT_EQ(prompt.script.Boxes().back().text, LoadClientString(IDS_UPGRADE_REQUIRED));
    EXPECT_EQ(prompt.script.Boxes().back().flags, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(shell.urls.size(), 1u);
    EXPECT_EQ(a.QuitRequest(), 1);
    // A later quit keeps the first code.
    a.RequestQuit(0);
    EXPECT_EQ(a.QuitRequest(), 1);
}

TEST_F(StartupTest, ACriticalUpgradeAtStartEndsStartUpBeforeLogOn) {
    server.replies[CLIENT_UPGRADE] = {"CRITICAL"};
    prompt.script.Answer(IDCANCEL);
    CAltirenClientApp& a = App();
    EXPECT_FALSE(a.InitInstance());
    EXPECT_EQ(a.StartupExitCode(), 1);
    EXPECT_EQ(server.Count(CLIENT_LAUNCH), 0);
    EXPECT_TRUE(shell.urls.empty());
    EXPECT_EQ(a.Run(), 1); // the loop does not run
}

TEST_F(StartupTest, TheUpgradeCheckDoesNotRunAgainWhileItsMessageIsOpen) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    server.replies[CLIENT_UPGRADE] = {"NORMAL"};
    prompt.script.Answer(IDCANCEL);
    prompt.onShow = [&a](const std::string&) { a.OnCheckUpgrade(); };
    a.OnCheckUpgrade();
    EXPECT_EQ(server.Count(CLIENT_UPGRADE), 2); // start-up's and this one
    EXPECT_EQ(prompt.script.Boxes().size(), 1u);
}

TEST_F(StartupTest, UpgradeWhilePlayingAsksAndCancelKeepsPlaying) {
    registry.SetString("AltirenServerIP", "198.18.0.2");
    registry.SetString("AccountID", "ACME");
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    CPlayParams params;
    ASSERT_EQ(a.DriverMngr().Play(params.get()), 1);
    prompt.script.Answer(IDCANCEL);
    EXPECT_FALSE(a.OnUpgradeApplication());
    EXPECT_TRUE(Showed(IDS_UPGRADE_WHILE_PLAYING));
    EXPECT_TRUE(a.DriverMngr().IsPlaying());
    EXPECT_TRUE(shell.urls.empty());
    EXPECT_TRUE(a.OnUpgradeApplication());
    EXPECT_FALSE(a.DriverMngr().IsPlaying());
}

TEST_F(StartupTest, WithoutATrayTheManagerWindowIsShownAndStartUpSucceeds) {
    windows.trayAvailable = false;
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(windows.shownStates, (std::vector<int>{5}));
    EXPECT_TRUE(windows.exitWithManager);
}

TEST_F(StartupTest, ATrayIconThatCannotBeAddedDoesNotStopTheClient) {
    windows.trayAdds = false;
    ASSERT_TRUE(App().InitInstance());
    EXPECT_EQ(windows.shownStates, (std::vector<int>{5}));
}

TEST_F(StartupTest, TrayAnimationStartsAndStopsWithTheIconRestored) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    a.StartTrayAnimation();
    a.StopTrayAnimation();
    using Call = std::pair<UINT, UINT>;
    EXPECT_EQ(windows.tray->animateCalls, (std::vector<Call>{{150, 1}, {0, 0}}));
    EXPECT_EQ(windows.tray->modified, (std::vector<Call>{{2, 128}}));
    EXPECT_EQ(windows.tray->toolTip, "Pramitone");
    a.ExitInstance(0);
    EXPECT_EQ(a.Tray(), nullptr);
}

TEST_F(StartupTest, MessageBoxesGoOverTheParentElseTheManagerWindowElseNone) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    QWidget parent;
    a.AltirenMessageBox(IDS_INVALID_FILE, IDS_CAPTION_ERROR, MB_OK, &parent);
    a.AltirenMessageBox(IDS_INVALID_FILE, IDS_CAPTION_ERROR, MB_OK);
    windows.manager.exists = false;
    a.AltirenMessageBox("text", IDS_CAPTION_ERROR, MB_OK);
    EXPECT_EQ(prompt.owners, (std::vector<QWidget*>{&parent, &managerWindow, nullptr}));
    EXPECT_EQ(prompt.script.Boxes().back().text, "text");
    EXPECT_EQ(prompt.script.Boxes().back().caption, "Pramitone");
}

TEST_F(StartupTest, ContextHelpOpensTheTopicPageAndIdsWithoutTopicShowNothing) {
    CAltirenClientApp& a = App();
    EXPECT_TRUE(a.OnHelpInfo(1084));
    EXPECT_TRUE(a.OnHelpInfo(4242));
    a.ShowHelpIndex();
    EXPECT_EQ(shell.urls,
              (std::vector<std::string>{"file:///usr/share/pramitone/help/Network_Adapter.htm",
                                        "file:///usr/share/pramitone/help/index.htm"}));
    shell.opens = false;
    EXPECT_FALSE(a.OnHelpInfo(1002));
}

TEST_F(StartupTest, ExitReturnsTheLoopsCodeAndTearsDownInOrder) {
    CAltirenClientApp& a = App();
    ASSERT_TRUE(a.InitInstance());
    EXPECT_EQ(a.ExitInstance(7), 7);
    EXPECT_EQ(instance.closes, 1);
    EXPECT_EQ(windows.destroys, 1);
    EXPECT_EQ(xml.terminates, 1);
    EXPECT_EQ(CAltirenProxy::LiveRequestCount(), 0u);
}

} // namespace
