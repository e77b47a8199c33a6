// The built program as a person runs it: Pramitone started as a process in the station
// namespace of a lab whose wire runs the daemon, with the management-server stand-in in
// the network namespace and a real X server (Xvfb) with a tray. It registers, logs on and
// sits in the tray; a second start shows its manager window and exits; Exit in the tray
// menu ends it with nothing left behind. Screenshots go to the build folder.
#include "AltirenUiTest/Xvfb.h"
#include "DaemonLab.h"
#include "ProgramDriving.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace netnslab;
using namespace programtest;

namespace {

class ProgramOnDaemon : public e2e::DaemonLab {
protected:
    void SetUp() override {
        if (::access("/usr/bin/xdotool", X_OK) != 0 || ::access("/usr/bin/trayer", X_OK) != 0)
            GTEST_SKIP() << "xdotool and trayer are needed (scripts/packages.txt)";
        e2e::DaemonLab::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(xvfb.Running()) << xvfb.Error();
        guitest::XcbApp(xvfb);

        // The management server answers in the network namespace, beyond the daemon.
        mgmt::ServerOptions options;
        options.address = kNetworkV4;
        server = std::make_unique<mgmt::MgmtServer>(options);
        {
            NetnsGuard in(lab().network());
            std::string error;
            ASSERT_TRUE(server->Start(error)) << error;
        }
        server->EditStore([](mgmt::AccountStore& store) {
            store.AddUser({"alice", "secret", "ACME", "alice@example.org"});
        });

        Provision();
        ::setenv("DISPLAY", xvfb.Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The user's runtime folder: where the single-instance guard lives.
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
            savedRuntime = runtime;
        ::setenv("XDG_RUNTIME_DIR", runDir.str().c_str(), 1);
    }

    void TearDown() override {
        if (savedRuntime.empty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        if (server)
            server->Stop();
        e2e::DaemonLab::TearDown();
    }

    void Provision() {
        ASSERT_NO_FATAL_FAILURE(
            ProvisionClient(dir.str(), server->HostPort(), "ACME", "alice", "secret", trace.str()));
        platform::registry::Registry(dir.str()).setValue(
            platform::registry::Hive::LocalMachine, CClientSettings::kInstallKey, "InstallFolder",
            platform::registry::Value::Sz(dir.str() + "/install"));
    }

    bool Requested(const std::string& event) const {
        return programtest::Requested(*server, event);
    }

    std::vector<std::string> VisibleManagers() const {
        return VisibleWindows(xvfb.Display(), kManagerTitle);
    }

    std::string Screenshot(const std::string& name) {
        QCoreApplication::processEvents();
        return guitest::SaveScreenshot(name);
    }

    Process& StartProgram(const std::string& log) {
        return lab().spawn(lab().station(), {PRAMITONE_BINARY}, log);
    }

    std::string TraceText() const { return programtest::TraceText(trace.str()); }
    std::string Log(const std::string& path) const { return ReadText(path); }

    // One X server for the process: the test's own QApplication stays on it.
    static guitest::XvfbServer& Xvfb() {
        static guitest::XvfbServer server;
        return server;
    }
    guitest::XvfbServer& xvfb = Xvfb();
    std::unique_ptr<mgmt::MgmtServer> server;
    std::string savedRuntime;
    testsupport::TempDir runDir{"program-run"};
    testsupport::TempDir trace{"program-trace"};
};

TEST_F(ProgramOnDaemon, RegistersLogsOnSitsInTheTrayAndExitsCleanly) {
    Process& tray =
        lab().spawn("",
                    {"env", "DISPLAY=" + xvfb.Display(), "trayer", "--edge", "bottom", "--align",
                     "right", "--widthtype", "request", "--height", "32", "--transparent", "false"},
                    dir.str() + "/trayer.log");
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] {
        return !Xdo(xvfb.Display(), {"search", "--class", "trayer"}).empty();
    }));
    (void)tray;

    const std::string log = dir.str() + "/pramitone.log";
    const auto started = Clock::now();
    Process& program = StartProgram(log);

    // Registration and log-on reach the server; the icon docks in the tray.
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return Requested("CLIENT_LAUNCH"); }))
        << Log(log);
    EXPECT_TRUE(Requested("CLIENT_INSTALL"));
    EXPECT_TRUE(Requested("CLIENT_UPGRADE"));
    std::string icon;
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] {
        for (const std::string& id :
             Lines(Xdo(xvfb.Display(), {"search", "--onlyvisible", "--class", "Pramitone"}))) {
            const std::string name = Xdo(xvfb.Display(), {"getwindowname", id});
            if (name != kManagerTitle) {
                icon = id;
                return true;
            }
        }
        return false;
    })) << Log(log);
    const auto startUp =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    std::printf("[ measure ] start-up to the tray: %lld ms\n",
                static_cast<long long>(startUp.count()));
    EXPECT_TRUE(VisibleManagers().empty()); // it sits in the tray, its window hidden
    bool installed = false;
    CClientSettings(platform::registry::Registry(dir.str())).bGetInstalledStatus(installed);
    EXPECT_TRUE(installed);
    EXPECT_TRUE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance.lock"));
    EXPECT_TRUE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance"));
    Screenshot("pramitone-tray");

    // A second start shows the first's manager window and exits with 0.
    Process& second = StartProgram(dir.str() + "/second.log");
    RunResult secondEnd = second.wait(Millis(30000));
    EXPECT_EQ(secondEnd.status, 0) << Log(dir.str() + "/second.log");
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] { return !VisibleManagers().empty(); }));
    EXPECT_TRUE(program.running());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot("pramitone-manager-window");

    // Exit from the tray menu: a right click on the icon, then the item's key.
    Xdo(xvfb.Display(), {"mousemove", "--window", icon, "8", "8"});
    Xdo(xvfb.Display(), {"click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    Screenshot("pramitone-tray-menu");
    const auto exitAsked = Clock::now();
    Xdo(xvfb.Display(), {"key", "x"});
    ASSERT_TRUE(Within(std::chrono::seconds(20), [&] { return !program.running(); })) << Log(log);
    const auto shutDown =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exitAsked);
    std::printf("[ measure ] Exit to process end: %lld ms\n",
                static_cast<long long>(shutDown.count()));
    RunResult end = program.wait(Millis(1000));
    EXPECT_EQ(end.status, 0) << Log(log);
    EXPECT_TRUE(Requested("CLIENT_SHUTDOWN"));

    // Nothing is left: no lock file, no socket, no sanitizer report.
    EXPECT_FALSE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance.lock"));
    EXPECT_FALSE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance"));
    const std::string text = Log(log);
    for (const char* bad : {"Sanitizer", "runtime error:"})
        EXPECT_EQ(text.find(bad), std::string::npos) << text;
    // The trace log saw every server thread end before it closed.
    const std::string traced = TraceText();
    EXPECT_NE(traced.find("ExitInstance"), std::string::npos);
    EXPECT_EQ(traced.find("still running at exit"), std::string::npos) << traced;
}

// Where the desktop has no tray the manager window is shown at start-up, and closing it
// is the tray's Exit.
TEST_F(ProgramOnDaemon, WithoutATrayTheWindowIsShownAndClosingItExits) {
    const std::string log = dir.str() + "/pramitone.log";
    const auto started = Clock::now();
    Process& program = StartProgram(log);
    std::vector<std::string> windows;
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] {
        windows = VisibleManagers();
        return !windows.empty();
    })) << Log(log);
    const auto startUp =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    std::printf("[ measure ] start-up to the shown window: %lld ms\n",
                static_cast<long long>(startUp.count()));
    EXPECT_TRUE(Requested("CLIENT_LAUNCH"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot("pramitone-without-tray");

    const auto exitAsked = Clock::now();
    RunResult closed = run(
        "", {"env", "DISPLAY=" + xvfb.Display(), "python3", CLOSE_WINDOW_SCRIPT, windows.front()});
    ASSERT_EQ(closed.status, 0) << closed.err;
    ASSERT_TRUE(Within(std::chrono::seconds(20), [&] { return !program.running(); })) << Log(log);
    std::printf("[ measure ] close to process end: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - exitAsked)
                        .count()));
    EXPECT_EQ(program.wait(Millis(1000)).status, 0);
    EXPECT_TRUE(Requested("CLIENT_SHUTDOWN"));
    EXPECT_FALSE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance.lock"));
    EXPECT_FALSE(std::filesystem::exists(runDir.str() + "/AltirenPreventSecondInstance"));
}

// The client ended by SIGTERM (a session's end, a kill by a person) goes through its exit:
// the lock file and the socket go with it.
TEST_F(ProgramOnDaemon, ASigtermEndsTheClientAndLeavesNoGuardBehind) {
    const std::string log = dir.str() + "/pramitone.log";
    Process& program = StartProgram(log);
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return !VisibleManagers().empty(); }))
        << Log(log);
    const std::string lock = runDir.str() + "/AltirenPreventSecondInstance.lock";
    const std::string socket = runDir.str() + "/AltirenPreventSecondInstance";
    EXPECT_TRUE(std::filesystem::exists(lock));
    EXPECT_TRUE(std::filesystem::exists(socket));
    ASSERT_EQ(::kill(program.pid(), SIGTERM), 0);
    ASSERT_TRUE(Within(std::chrono::seconds(20), [&] { return !program.running(); })) << Log(log);
    EXPECT_EQ(program.wait(Millis(1000)).status, 0) << Log(log);
    EXPECT_FALSE(std::filesystem::exists(lock));
    EXPECT_FALSE(std::filesystem::exists(socket));
    const std::string text = Log(log);
    for (const char* bad : {"Sanitizer", "runtime error:"})
        EXPECT_EQ(text.find(bad), std::string::npos) << text;
}

} // namespace
