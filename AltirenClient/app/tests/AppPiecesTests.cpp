// The main frame's rules, the single-instance guard, help addresses and the event text.
#include "AppFakes.h"
#include "FakeNuvexControl.h"

#include "AltirenApp/AppSeams.h"
#include "AltirenApp/HelpTopics.h"
#include "AltirenApp/MainFrameModel.h"
#include "AltirenApp/PlatformServices.h"
#include "AltirenApp/QuitSignals.h"
#include "AltirenApp/SingleInstance.h"
#include "AltirenClient/StringTable.h"
#include "AltirenUiTest/GuiTest.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace appfakes;

namespace {

class FakeApplication : public IClientApplication {
public:
    bool CheckActiveAdapter(bool) override { return true; }
    void ChooseActiveAdapter() override { ++choices; }
    void StartTrayAnimation() override {}
    void StopTrayAnimation() override {}
    void ShowHelpIndex() override { ++helps; }
    void ShowAbout() override { ++abouts; }
    int choices = 0, helps = 0, abouts = 0;
};

class MainFrameModelTest : public ::testing::Test {
protected:
    void Play() {
        CPlayParams params;
        ASSERT_EQ(driver.Play(params.get()), 1);
    }
    guitest::TestRegistry registry;
    FakeNuvexControl control;
    CDriverMngr driver{control};
    FakeManager manager;
    FakeApplication application;
    CScriptedPrompt prompt;
    int shows = 0, closes = 0;
    CMainFrameModel model{
        manager, driver, application, prompt, [this] { ++shows; }, [this] { ++closes; }};
};

TEST_F(MainFrameModelTest, CommandsGoToTheManagerOrTheApplication) {
    for (UINT command : {ID_TRAY_OPEN, ID_TRAY_PLAY_STOP, ID_TRAY_SHOW_STATISTICS,
                         ID_TRAY_SET_ADAPTER, ID_TRAY_ABOUT, ID_TRAY_HELP, ID_TRAY_OPTIONS})
        model.OnCommand(command);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(manager.playStops, 1);
    EXPECT_EQ(manager.statistics, 1);
    EXPECT_EQ(manager.options, 1);
    EXPECT_EQ(application.choices, 1);
    EXPECT_EQ(application.abouts, 1);
    EXPECT_EQ(application.helps, 1);
    EXPECT_EQ(closes, 0);
}

TEST_F(MainFrameModelTest, PlayStopReadsStopWhilePlayingAndFollowsThePlayButtonOtherwise) {
    EXPECT_EQ(model.Update(ID_TRAY_PLAY_STOP).text, "&Play");
    EXPECT_TRUE(model.Update(ID_TRAY_PLAY_STOP).enabled);
    manager.playEnabled = false;
    EXPECT_FALSE(model.Update(ID_TRAY_PLAY_STOP).enabled);
    Play();
    EXPECT_EQ(model.Update(ID_TRAY_PLAY_STOP).text, "&Stop");
    EXPECT_TRUE(model.Update(ID_TRAY_PLAY_STOP).enabled);
}

TEST_F(MainFrameModelTest, AdapterAndOptionsAreDisabledWhilePlaying) {
    EXPECT_TRUE(model.Update(ID_TRAY_SET_ADAPTER).enabled);
    EXPECT_TRUE(model.Update(ID_TRAY_OPTIONS).enabled);
    Play();
    EXPECT_FALSE(model.Update(ID_TRAY_SET_ADAPTER).enabled);
    EXPECT_FALSE(model.Update(ID_TRAY_OPTIONS).enabled);
    EXPECT_TRUE(model.Update(ID_TRAY_ABOUT).enabled);
}

TEST_F(MainFrameModelTest, TheStatisticsSwitchFlipsTheSettingThatEnablesShowStatistics) {
    EXPECT_TRUE(model.Update(ID_TRAY_SHOW_STATISTICS).enabled);
    EXPECT_TRUE(model.Update(ID_TRAY_STATISTICS_SWITCH).checked);
    model.OnCommand(ID_TRAY_STATISTICS_SWITCH);
    EXPECT_FALSE(CClientSettings().IsStatisticsEnabled());
    EXPECT_FALSE(model.Update(ID_TRAY_SHOW_STATISTICS).enabled);
    EXPECT_FALSE(model.Update(ID_TRAY_STATISTICS_SWITCH).checked);
    model.OnCommand(ID_TRAY_STATISTICS_SWITCH);
    EXPECT_TRUE(CClientSettings().IsStatisticsEnabled());
}

TEST_F(MainFrameModelTest, ExitWhileNotPlayingAsksNothing) {
    EXPECT_TRUE(model.OnAppExit());
    EXPECT_TRUE(prompt.Boxes().empty());
    EXPECT_EQ(manager.exits, 1);
    EXPECT_EQ(closes, 1);
}

TEST_F(MainFrameModelTest, ExitWhilePlayingAsksAndCancelKeepsPlaying) {
    Play();
    prompt.Answer(IDCANCEL);
    model.OnCommand(ID_APP_EXIT);
    ASSERT_EQ(prompt.Boxes().size(), 1u);
    EXPECT_EQ(prompt.Boxes()[0].text, LoadClientString(IDS_EXIT_WHILE_PLAYING));
    EXPECT_EQ(prompt.Boxes()[0].flags, MB_OKCANCEL | MB_ICONWARNING);
    EXPECT_EQ(manager.exits, 0);
    EXPECT_EQ(closes, 0);
    prompt.Answer(IDOK);
    EXPECT_TRUE(model.OnAppExit());
    EXPECT_EQ(manager.exits, 1);
    EXPECT_EQ(closes, 1);
}

TEST(AppSeams, TheLandedPagesAreWiredAndTheRestLeftEmpty) {
    CIpRuleSet statisticsFilter;
    const ManagerSeams seams = FillManagerSeams(statisticsFilter);
    EXPECT_TRUE(seams.presetPage);
    EXPECT_TRUE(seams.importPage);
    EXPECT_TRUE(seams.filterDialog);
    EXPECT_TRUE(seams.optionsSheet);
    EXPECT_TRUE(seams.statisticGUIManager);
}

TEST(HelpTopics, ControlIdsMapToTheirTopics) {
    EXPECT_EQ(HelpTopics::TopicFor(1002), "Emulating");
    EXPECT_EQ(HelpTopics::TopicFor(1008), "Preset");
    EXPECT_EQ(HelpTopics::TopicFor(1013), "Manual");
    EXPECT_EQ(HelpTopics::TopicFor(1012), "");
    EXPECT_EQ(HelpTopics::TopicFor(1128), "ChangeUser");
    EXPECT_EQ(HelpTopics::TopicFor(1113), "ChangePassword");
    EXPECT_EQ(HelpTopics::TopicFor(1165), "ChangePassword");
    EXPECT_EQ(HelpTopics::TopicFor(1122), "");
    EXPECT_EQ(HelpTopics::TopicFor(1149), "StatisticsOptionsDuplicate");
    EXPECT_EQ(HelpTopics::TopicFor(1151), "IPRange");
    EXPECT_EQ(HelpTopics::TopicFor(1145), "StatisticsOptionsRemove");
    EXPECT_EQ(HelpTopics::TopicFor(61260), "Login_Options");
}

TEST(HelpTopics, AddressesOfTheHelpPages) {
    EXPECT_EQ(HelpTopics::TopicUrl("/usr/share/help", "Preset"),
              "file:///usr/share/help/index.htm?context=AltirenClient&topic=Preset");
    EXPECT_EQ(HelpTopics::IndexUrl("help"), "file:///help/index.htm");
    EXPECT_EQ(HelpTopics::TopicPageUrl("/h", "Manual"), "file:///h/Manual.htm");
}

TEST(HelpTopics, EveryTopicHasItsPageInTheHelpFolder) {
    for (UINT id = 1000; id < 1200; ++id) {
        const std::string topic = HelpTopics::TopicFor(id);
        if (!topic.empty()) {
            EXPECT_TRUE(
                std::filesystem::exists(std::string(ALTIREN_HELP_DIR) + "/" + topic + ".htm"))
                << topic;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(std::string(ALTIREN_HELP_DIR) + "/Login_Options.htm"));
}

TEST(EventLog, TheEventIdStandsInTheText) {
    EXPECT_EQ(CSyslogEventLog::Format(0xC0000004, "Failed"), "Event 0xC0000004: Failed");
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { guitest::App(); }
    // Runs the event loop until the condition holds (bounded).
    template <class F>
    bool Until(F done) {
        for (int i = 0; i < 500 && !done(); ++i)
            QTest::qWait(5);
        return done();
    }
    testsupport::TempDir dir{"single"};
};

TEST_F(SingleInstanceTest, TheSecondInstanceHandsItsShowRequestToTheFirst) {
    CSingleInstance first(dir.str());
    std::vector<int> shown;
    first.SetShowHandler([&](int state) { shown.push_back(state); });
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(std::filesystem::exists(first.LockPath()));
    EXPECT_TRUE(std::filesystem::exists(first.SocketPath()));

    CSingleInstance second(dir.str());
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.SendShowRequest(5));
    ASSERT_TRUE(Until([&] { return !shown.empty(); }));
    EXPECT_EQ(shown, (std::vector<int>{5}));
    // The second start left the live server's socket alone.
    second.Close();
    EXPECT_TRUE(std::filesystem::exists(first.SocketPath()));
    EXPECT_TRUE(second.SendShowRequest(5));
    ASSERT_TRUE(Until([&] { return shown.size() == 2; }));

    first.Close();
    EXPECT_FALSE(std::filesystem::exists(first.LockPath()));
    EXPECT_FALSE(std::filesystem::exists(first.SocketPath()));
    // With no first instance a show request finds nobody.
    EXPECT_FALSE(second.SendShowRequest(5));
    EXPECT_TRUE(second.Acquire());
}

TEST_F(SingleInstanceTest, AStaleSocketOfADeadInstanceIsReplaced) {
    {
        // A socket file nobody serves, as a killed first instance leaves it.
        const std::string path = dir.str() + "/AltirenPreventSecondInstance";
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(fd, 1), 0);
        ::close(fd);
        ASSERT_TRUE(std::filesystem::exists(path));
    }
    CSingleInstance first(dir.str());
    int shown = 0;
    first.SetShowHandler([&](int) { ++shown; });
    ASSERT_TRUE(first.Acquire());
    CSingleInstance second(dir.str());
    EXPECT_TRUE(second.SendShowRequest(5));
    EXPECT_TRUE(Until([&] { return shown == 1; }));
}

// One client per user: the guard lives in the user's runtime folder, else in a folder of
// the user's own below the temporary folder; what no other user can reach.
TEST_F(SingleInstanceTest, TheGuardLivesInTheUsersRuntimeFolderElseInAFolderOfTheUsersOwn) {
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = savedRuntime ? savedRuntime : "";
    const std::string temp = QDir::tempPath().toStdString();
    ::setenv("XDG_RUNTIME_DIR", dir.str().c_str(), 1);
    EXPECT_EQ(CSingleInstance::DefaultFolder(), dir.str());
    {
        CSingleInstance guard;
        ASSERT_TRUE(guard.Acquire()) << guard.Problem();
        EXPECT_EQ(guard.LockPath(), dir.str() + "/AltirenPreventSecondInstance.lock");
        EXPECT_EQ(guard.SocketPath(), dir.str() + "/AltirenPreventSecondInstance");
        EXPECT_TRUE(std::filesystem::exists(guard.SocketPath()));
    }
    // Without a runtime folder: one named by the user, made for the user alone.
    ::unsetenv("XDG_RUNTIME_DIR");
    const testsupport::TempDir tmp{"single-tmp"};
    ::setenv("TMPDIR", tmp.str().c_str(), 1);
    const std::string own = tmp.str() + "/pramitone-" + std::to_string(::geteuid());
    EXPECT_EQ(CSingleInstance::DefaultFolder(), own);
    {
        CSingleInstance guard;
        ASSERT_TRUE(guard.Acquire()) << guard.Problem();
        EXPECT_EQ(guard.LockPath(), own + "/AltirenPreventSecondInstance.lock");
        struct stat made {};
        ASSERT_EQ(::stat(own.c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 0777, 0700u);
        // The old shared place holds a lock of someone else's: it stops nobody now.
        CSingleInstance shared(tmp.str());
        EXPECT_TRUE(shared.Acquire());
    }
    ::setenv("TMPDIR", temp.c_str(), 1);
    if (savedRuntime)
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

TEST_F(SingleInstanceTest, AGuardItCannotUseIsRefusedWithTheReason) {
    // A folder others may write to (where anyone could make the lock).
    const std::string open = dir.str() + "/open";
    ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    CSingleInstance inOpen(open);
    EXPECT_FALSE(inOpen.Acquire());
    EXPECT_EQ(inOpen.Problem(), "the folder " + open +
                                    " of its lock file belongs to another user or others may "
                                    "write to it.");
    EXPECT_FALSE(std::filesystem::exists(inOpen.LockPath()));

    // A lock path that is no file.
    const std::string blocked = dir.str() + "/blocked";
    ASSERT_EQ(::mkdir(blocked.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((blocked + "/AltirenPreventSecondInstance.lock").c_str(), 0700), 0);
    CSingleInstance inBlocked(blocked);
    EXPECT_FALSE(inBlocked.Acquire());
    EXPECT_NE(inBlocked.Problem().find("its lock file " + blocked +
                                       "/AltirenPreventSecondInstance.lock cannot be opened"),
              std::string::npos)
        << inBlocked.Problem();

    // A file where the folder should be.
    const std::string file = dir.str() + "/file";
    testsupport::write_file(file, "x");
    CSingleInstance onFile(file);
    EXPECT_FALSE(onFile.Acquire());
    EXPECT_EQ(onFile.Problem(), file + " is not a folder.");

    // Held by this user's first instance: no problem, a hand-over.
    CSingleInstance first(blocked + "/..");
    ASSERT_TRUE(first.Acquire());
    CSingleInstance second(blocked + "/..");
    EXPECT_FALSE(second.Acquire());
    EXPECT_EQ(second.Problem(), "");
}

// A terminating signal reaches the owner on the event loop, not in the handler.
TEST(QuitSignals, ATerminatingSignalIsHandedToTheOwnerOnTheEventLoop) {
    guitest::App();
    std::vector<int> received;
    {
        CQuitSignals quit([&received](int signal) { received.push_back(signal); });
        ASSERT_TRUE(quit.IsInstalled());
        CQuitSignals second([](int) {});
        EXPECT_FALSE(second.IsInstalled()); // one at a time
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_TRUE(received.empty());
        for (int i = 0; i < 200 && received.size() < 2; ++i)
            QTest::qWait(5);
        EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP}));
    }
    // The handlers it replaced are back.
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(SingleInstanceTest, AStartWhileTheFirstHasNoServerFindsNobody) {
    CSingleInstance first(dir.str());
    ASSERT_TRUE(first.Acquire());
    // The first instance is there but does not serve (its server went).
    QLocalServer::removeServer(QString::fromStdString(first.SocketPath()));
    CSingleInstance second(dir.str());
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.SendShowRequest(5));
}

} // namespace
