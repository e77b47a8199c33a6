// The installed system used as a person uses it. The build is installed into a temporary
// root (DESTDIR); the installed daemon takes the lab workstation's eth0 over, started by
// its systemd unit's command line with the Bindings written by the installed altiren-reg;
// the management-server stand-in answers on the workstation with a demo account; the
// installed Pramitone runs on the workstation under Xvfb, as a member of the access group
// rather than root (a throw-away group and user), and is driven by xdotool only:
// keys type 50 ms and 1,000 kbit/s into the manual page and press Play, real traffic feels
// both, the Top Talkers window opens from the menu and lists the flow, Stop and Exit end
// it, and the workstation's interface is given back as it was. A screenshot of each step
// goes to the build folder; the checks read measurements, logs and the server's record.
#include "AltirenUiTest/Xvfb.h"
#include "ProgramDriving.h"
#include "TestSupport/ThrowAwayGroup.h"
#include "WorkstationLab.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

using namespace netnslab;
using namespace programtest;
using namespace e2e;

namespace {

constexpr const char* kTopTalkersTitle = "Pramitone - Top Talkers";

class InstalledOnWorkstation : public WorkstationLab {
protected:
    void SetUp() override {
        if (::access("/usr/bin/xdotool", X_OK) != 0)
            GTEST_SKIP() << "xdotool is needed (scripts/packages.txt)";
        if (auto why = Lab::unavailable_reason())
            GTEST_SKIP() << *why;
        // The person is a member of the access group, not root.
        std::string why;
        if (!person.make(groupFile.str(), why))
            GTEST_SKIP() << why;
        const auto started = Clock::now();
        const RunResult installed =
            run("", {"env", "DESTDIR=" + root.str(), CMAKE_COMMAND, "--install", ALTIREN_BUILD_DIR},
                Millis(180000));
        ASSERT_TRUE(installed.ok()) << installed.out << installed.err;
        std::printf("[ measure ] cmake --install: %lld ms\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               Clock::now() - started)
                                               .count()));
        quellin = Installed(INSTALLED_SBINDIR "/quellin");
        WorkstationLab::SetUp(); // quellin --install from the installed tree
        if (IsSkipped() || HasFatalFailure())
            return;
        // The installed tree, the store and the socket are the person's to reach.
        for (const testsupport::TempDir* shared : {&root, &dir})
            ASSERT_EQ(::chmod(shared->str().c_str(), 0755), 0);
        for (const testsupport::TempDir* own : {&runDir, &trace})
            ASSERT_EQ(::chown(own->str().c_str(), person.member, person.member), 0);
        ASSERT_TRUE(xvfb.Running()) << xvfb.Error();
        guitest::XcbApp(xvfb);

        // The stand-in on the workstation's loopback, where the emulation leaves it alone.
        server = std::make_unique<mgmt::MgmtServer>(mgmt::ServerOptions{});
        {
            NetnsGuard in(ws);
            std::string error;
            ASSERT_TRUE(server->Start(error)) << error;
        }
        server->EditStore([](mgmt::AccountStore& store) {
            store.AddUser({"demo", "demo", "DEMO-1", "demo@example.org"});
        });
        ASSERT_NO_FATAL_FAILURE(
            ProvisionClient(registry, server->HostPort(), "DEMO-1", "demo", "demo", trace.str()));
        const RunResult bound =
            run("", {Installed(INSTALLED_BINDIR "/altiren-reg"), "set",
                     "HKLM\\SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters", "Bindings",
                     "REG_MULTI_SZ", std::string("tap:") + kTap + "=" + kEth});
        ASSERT_TRUE(bound.ok()) << bound.err;
        ::setenv("DISPLAY", xvfb.Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("TMPDIR", runDir.str().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runDir.str().c_str(), 1); // the person's own
    }

    void TearDown() override {
        if (program && program->running())
            program->stop(Millis(5000));
        ::unsetenv("TMPDIR");
        ::unsetenv("XDG_RUNTIME_DIR");
        if (server)
            server->Stop();
        WorkstationLab::TearDown();
    }

    std::string Installed(const std::string& path) const { return root.str() + path; }

    // The arguments of the installed unit's ExecStart after its program, which must be the
    // installed daemon.
    std::vector<std::string> UnitArguments() const {
        std::string unit;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path()))
            if (entry.path().filename() == "quellin.service")
                unit = ReadText(entry.path().string());
        const size_t at = unit.find("\nExecStart=");
        EXPECT_NE(at, std::string::npos) << unit;
        std::istringstream line(unit.substr(at + 11, unit.find('\n', at + 1) - at - 11));
        std::string program;
        line >> program;
        EXPECT_EQ(Installed(program), quellin);
        std::vector<std::string> args;
        for (std::string arg; line >> arg;)
            args.push_back(arg);
        return args;
    }

    // Keys on the window, which has the keyboard focus (there is no window manager).
    void Keys(const std::string& window, const std::vector<std::string>& keys) {
        Xdo(xvfb.Display(), {"windowfocus", "--sync", window});
        for (const std::string& key : keys) {
            Xdo(xvfb.Display(), {"key", "--delay", "80", key});
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    }
    // A menu by its key, then its item by its key: each key once the menu is there (it
    // opens as a window of its own) and the next only once it has gone; the open menu's
    // screenshot when `shot` names one.
    void MenuItem(const std::string& window, const std::string& menuKey, const std::string& itemKey,
                  const std::string& shot = {}) {
        const std::set<std::string> before = ProgramWindows();
        Keys(window, {menuKey});
        std::set<std::string> menu;
        EXPECT_TRUE(Within(std::chrono::seconds(10),
                           [&] {
                               menu.clear();
                               for (const std::string& id : ProgramWindows())
                                   if (!before.count(id))
                                       menu.insert(id);
                               return !menu.empty();
                           }))
            << menuKey << " opened no menu";
        if (!shot.empty())
            Screenshot(shot);
        Xdo(xvfb.Display(), {"key", "--delay", "80", itemKey});
        EXPECT_TRUE(Within(std::chrono::seconds(10),
                           [&] {
                               const std::set<std::string> now = ProgramWindows();
                               for (const std::string& id : menu)
                                   if (now.count(id))
                                       return false;
                               return true;
                           }))
            << itemKey << " left the menu open";
    }
    std::set<std::string> ProgramWindows() const {
        const auto ids =
            Lines(Xdo(xvfb.Display(), {"search", "--onlyvisible", "--class", "Pramitone"}));
        return {ids.begin(), ids.end()};
    }

    void Type(const std::string& text) {
        Xdo(xvfb.Display(), {"type", "--delay", "80", text});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }

    std::string Screenshot(const std::string& name) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        QCoreApplication::processEvents();
        const std::string path = guitest::SaveScreenshot("installed-" + name);
        EXPECT_FALSE(path.empty()) << name;
        return path;
    }

    bool Logged(const std::string& text) const {
        return log_text().find(text) != std::string::npos;
    }

    // One-way delay (median, ms) of a slow UDP flow and the rate of a TCP stream (bit/s),
    // from the workstation to the network.
    double UdpDelayMs(int port, uint64_t count = 100) {
        const UdpResult r = run_udp(udp(ws, nw, kNwV4, count, 100, 100, port));
        EXPECT_EQ(r.recv.count("received"), count);
        return r.recv.num("delay_us_median") / 1000.0;
    }
    double TcpBitsPerSecond(int port, uint64_t bytes) {
        TcpFlow tcp;
        tcp.from = ws;
        tcp.to = nw;
        tcp.dest = kNwV4;
        tcp.port = port;
        tcp.bytes = bytes;
        const TcpResult r = run_tcp(tcp);
        EXPECT_EQ(r.recv.count("bytes"), bytes);
        return r.recv.num("throughput_bps");
    }

    static guitest::XvfbServer& Xvfb() {
        static guitest::XvfbServer server;
        return server;
    }
    guitest::XvfbServer& xvfb = Xvfb();
    testsupport::TempDir root{"installed-root"};
    testsupport::TempDir groupFile{"installed-group"};
    testsupport::ThrowAwayGroup person;
    testsupport::TempDir runDir{"installed-run"};
    testsupport::TempDir trace{"installed-trace"};
    std::unique_ptr<mgmt::MgmtServer> server;
    std::optional<Process> program;
};

} // namespace

TEST_F(InstalledOnWorkstation, APersonPlaysFiftyMillisecondsAndAMegabitSeesTopTalkersAndExits) {
    const auto begun = Clock::now();
    Process& daemon = start_daemon(UnitArguments());
    ASSERT_TRUE(taken_over()) << log_text();
    EXPECT_TRUE(Logged("1 adapter(s) bound of 1")) << log_text();

    // Started as from the desktop entry, in the workstation's shell; without a tray the
    // manager window shows at once.
    const std::string log = (dir / "pramitone.log").string();
    std::vector<std::string> argv = {"nsenter", "--net=/run/netns/" + ws};
    for (const std::string& arg : person.as_member())
        argv.push_back(arg);
    argv.insert(argv.end(), {"env", "HOME=" + runDir.str()});
    argv.push_back(Installed(INSTALLED_BINDIR "/Pramitone"));
    program.emplace(Process::start("", argv, log));
    std::vector<std::string> managers;
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] {
        managers = VisibleWindows(xvfb.Display(), kManagerTitle);
        return !managers.empty() || !program->running();
    }));
    ASSERT_FALSE(managers.empty()) << ReadText(log);
    const std::string status = ReadText("/proc/" + std::to_string(program->pid()) + "/status");
    EXPECT_NE(status.find("\nUid:\t" + std::to_string(person.member) + "\t"), std::string::npos)
        << status;
    const std::string manager = managers.front();
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] {
        return Requested(*server, "CLIENT_LAUNCH");
    })) << ReadText(log);
    Screenshot("1-started");

    // View > Advanced: the manual page. Alt+L and Alt+B reach its fields.
    MenuItem(manager, "alt+v", "a", "2-view-menu");
    Keys(manager, {"alt+l", "ctrl+a"});
    Type("50");
    Keys(manager, {"alt+b", "ctrl+a"});
    Type("1000");
    Keys(manager, {"Tab"});
    Screenshot("3-manual-page-typed");

    // Play by its accelerator.
    Keys(manager, {"alt+p"});
    ASSERT_TRUE(Within(std::chrono::seconds(15), [&] { return Logged("plays: adapter 1"); }))
        << log_text() << ReadText(log);
    const std::string played = log_text().substr(log_text().find("plays: adapter 1"));
    EXPECT_NE(played.find("delay 50-50 ms"), std::string::npos) << played;
    EXPECT_NE(played.find("East out 1000.0 kbit/s in 1000.0 kbit/s"), std::string::npos) << played;
    // The emulation runs once the library's capture thread has pended its requests.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Screenshot("4-playing");

    const double delayMs = UdpDelayMs(47600);
    const double bps = TcpBitsPerSecond(47601, 300000);
    std::printf("[ measure ] playing: one-way delay median %.2f ms, TCP %.0f bit/s\n", delayMs,
                bps);
    EXPECT_GE(delayMs, 48.0);
    EXPECT_LE(delayMs, kLateUs / 1000);
    EXPECT_LT(bps, 1.0e6);
    EXPECT_GT(bps, 0.3e6);

    // View > Statistics opens Top Talkers, which lists a flow while it runs.
    MenuItem(manager, "alt+v", "s");
    std::vector<std::string> lists;
    ASSERT_TRUE(Within(std::chrono::seconds(10), [&] {
        lists = VisibleWindows(xvfb.Display(), kTopTalkersTitle);
        return !lists.empty();
    })) << ReadText(log);
    // The list traces each connection it starts showing.
    const std::string shown = std::string("Top Talkers shows ") + kWsV4 + ":";
    const std::string flow = std::string(" -> ") + kNwV4 + ":47602 UDP";
    auto listed = [&] {
        for (const std::string& line : Lines(TraceText(trace.str()))) {
            const size_t at = line.find(shown);
            if (at != std::string::npos && line.find(flow, at) != std::string::npos)
                return true;
        }
        return false;
    };
    UdpDelayMs(47602, 300);
    ASSERT_TRUE(Within(std::chrono::seconds(10), listed)) << TraceText(trace.str());
    Screenshot("5-top-talkers");

    // Stop by the same accelerator on the manager window: traffic flows untouched again.
    Keys(manager, {"alt+p"});
    ASSERT_TRUE(Within(std::chrono::seconds(15), [&] { return Requested(*server, "CLIENT_STOP"); }))
        << ReadText(log);
    ASSERT_TRUE(Within(std::chrono::seconds(5), [&] { return Logged("stops the emulation"); }))
        << log_text();
    const double stoppedDelayMs = UdpDelayMs(47603);
    std::printf("[ measure ] stopped: one-way delay median %.2f ms\n", stoppedDelayMs);
    EXPECT_LT(stoppedDelayMs, 20.0);
    Screenshot("6-stopped");

    // Exit: closing the window, as the window's close button asks.
    const RunResult closed = run("", {"python3", CLOSE_WINDOW_SCRIPT, manager});
    ASSERT_EQ(closed.status, 0) << closed.err;
    ASSERT_TRUE(Within(std::chrono::seconds(20), [&] { return !program->running(); }))
        << ReadText(log);
    EXPECT_EQ(program->wait(Millis(1000)).status, 0) << ReadText(log);
    EXPECT_TRUE(Requested(*server, "CLIENT_SHUTDOWN"));
    // It registered, and wrote so in the store as the person.
    bool registered = false;
    EXPECT_TRUE(
        CClientSettings(platform::registry::Registry(registry)).bGetInstalledStatus(registered));
    EXPECT_TRUE(registered);
    EXPECT_TRUE(Logged("closes the control session")) << log_text();
    EXPECT_TRUE(VisibleWindows(xvfb.Display(), kManagerTitle).empty());
    Screenshot("7-exited");
    for (const char* bad : {"Sanitizer", "runtime error:"})
        EXPECT_EQ(ReadText(log).find(bad), std::string::npos) << ReadText(log);

    // The unit's stop (SIGTERM) gives eth0 back as it was.
    EXPECT_EQ(daemon.stop(Millis(10000)).status, 0);
    EXPECT_TRUE(Logged("]: stopped")) << log_text();
    expect_given_back();
    std::printf(
        "[ measure ] from the daemon's start to the interface given back: %lld ms\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count()));
}
