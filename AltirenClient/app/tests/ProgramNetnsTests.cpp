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

    // Keys to a window as a person presses them: the window has the keyboard focus (there
    // is no window manager to give it), each key after the one before has been taken.
    void Keys(const std::string& window, const std::vector<std::string>& keys) {
        Xdo(xvfb.Display(), {"windowfocus", "--sync", window});
        for (const std::string& key : keys) {
            Xdo(xvfb.Display(), {"key", "--delay", "80", key});
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    // Text typed into whatever has the focus in the window.
    void Type(const std::string& window, const std::string& text) {
        Xdo(xvfb.Display(), {"windowfocus", "--sync", window});
        Xdo(xvfb.Display(), {"type", "--delay", "120", text});
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    // The visible window of that title, once it is there.
    std::string WindowTitled(const std::string& title) {
        std::vector<std::string> found;
        Within(std::chrono::seconds(10), [&] {
            found = VisibleWindows(xvfb.Display(), title);
            return !found.empty();
        });
        return found.empty() ? std::string() : found.front();
    }
    bool Gone(const std::string& title) {
        return Within(std::chrono::seconds(10),
                      [&] { return VisibleWindows(xvfb.Display(), title).empty(); });
    }
    std::string Screenshot(const std::string& name, int settleMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        return Screenshot(name);
    }
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

// A person's run with the keyboard: Edit > Filter Definition > Add, 192.168.1.1 typed into
// the address dialog as it opens (at 0.0.0.0), then View > Advanced and 5 typed into Packet
// Loss as the page shows it, and Play: the daemon plays what was typed.
TEST_F(ProgramOnDaemon, AnAddressAndALossTypedAsAPersonTypesThemArePlayed) {
    const std::string log = dir.str() + "/pramitone.log";
    Process& program = StartProgram(log);
    const std::string manager = WindowTitled(kManagerTitle);
    ASSERT_FALSE(manager.empty()) << Log(log);
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return Requested("CLIENT_LAUNCH"); }))
        << Log(log);

    // Edit > Filter Definition..., then Add.
    Keys(manager, {"alt+d", "f"});
    const std::string filter = WindowTitled("Filter Definition");
    ASSERT_FALSE(filter.empty()) << Log(log);
    Keys(filter, {"alt+a"});
    const std::string entry = WindowTitled("Enter IP address");
    ASSERT_FALSE(entry.empty()) << Log(log);
    Screenshot("pramitone-enter-address-opened", 300);
    Type(entry, "192.168.1.1");
    Screenshot("pramitone-enter-address-typed", 300);
    Keys(entry, {"Return"});
    ASSERT_TRUE(Gone("Enter IP address")) << Log(log);
    Screenshot("pramitone-filter-definition", 300);
    Keys(filter, {"Return"});
    ASSERT_TRUE(Gone("Filter Definition")) << Log(log);

    // View > Advanced: the page as it shows, 5 typed at once; then Play.
    Keys(manager, {"alt+v", "a"});
    Type(manager, "5");
    Screenshot("pramitone-advanced-loss-typed", 300);
    Keys(manager, {"alt+p"});
    ASSERT_TRUE(Within(std::chrono::seconds(15),
                       [&] { return log_text().find("plays: adapter") != std::string::npos; }))
        << log_text() << Log(log);
    const std::string played = log_text().substr(log_text().find("plays: adapter"));
    const std::string line = played.substr(0, played.find('\n'));
    EXPECT_NE(line.find("loss random 5.00 %"), std::string::npos) << line;
    EXPECT_NE(line.find("filter entries (exclude): 192.168.1.1"), std::string::npos) << line;
    Screenshot("pramitone-playing-typed", 500);

    // Stop, then close the window: the client ends.
    Keys(manager, {"alt+p"});
    ASSERT_TRUE(Within(std::chrono::seconds(15), [&] {
        return log_text().find("stops the emulation") != std::string::npos;
    })) << log_text();
    const RunResult closed =
        run("", {"env", "DISPLAY=" + xvfb.Display(), "python3", CLOSE_WINDOW_SCRIPT, manager});
    ASSERT_EQ(closed.status, 0) << closed.err;
    ASSERT_TRUE(Within(std::chrono::seconds(20), [&] { return !program.running(); })) << Log(log);
    EXPECT_EQ(program.wait(Millis(1000)).status, 0) << Log(log);
    for (const char* bad : {"Sanitizer", "runtime error:"})
        EXPECT_EQ(Log(log).find(bad), std::string::npos) << Log(log);
}

} // namespace
