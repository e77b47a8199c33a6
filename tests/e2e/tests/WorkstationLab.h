// A workstation for the daemon as a user runs it: a namespace whose own stack uses eth0 (a
// veth, every offload on at both ends) with an IPv4 address, two IPv6 addresses (the
// second with lifetimes, as a temporary address has) and default routes; the network
// behind it is another namespace. `quellin` names the daemon program, which SetUp
// installs into a registry of the test's own; the workstation's interface is captured as
// `ip -j` shows it, so that expect_given_back() finds it as it was.
#pragma once

#include "AltirenAPI.h"
#include "NetnsLab/Flows.h"
#include "NetnsLab/Inspect.h"
#include "NetnsLab/Lab.h"
#include "NetnsLab/Netns.h"
#include "NetnsLab/Process.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace e2e {

using namespace netnslab;

constexpr const char* kEth = "eth0";
constexpr const char* kTap = "ql0";
constexpr const char* kWsV4 = "198.18.0.1";
constexpr const char* kNwV4 = "198.18.0.2";
constexpr const char* kWsV6 = "2001:2::1";
constexpr const char* kWsV6Second = "2001:2::1:2";
constexpr const char* kNwV6 = "2001:2::2";
// A delay of 50 ms measured at no more than this: the machines are shared and busy.
constexpr double kLateUs = 150000;

inline uint32_t workstation_ipv4(const char* text) {
    in_addr a{};
    ::inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

class WorkstationLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto why = Lab::unavailable_reason())
            GTEST_SKIP() << *why;
        daemons.reserve(4); // references to them stay good
        Lab::sweep_stale();
        ws = Lab::namespace_name("ws", "wk");
        nw = Lab::namespace_name("nw", "wk");
        for (const auto& ns : {ws, nw}) {
            add_netns(ns);
            made.push_back(ns);
            run_checked(ns, {"ip", "link", "set", "lo", "up"});
            // Addresses are in use at once, without duplicate address detection.
            write_sysctl(ns, "net/ipv6/conf/default/accept_dad", "0");
        }
        run_checked("", {"ip", "link", "add", kEth, "netns", ws, "type", "veth", "peer", "name",
                         "nw0", "netns", nw});
        // Settings of eth0 of its own, which a namespace move would lose.
        write_sysctl(ws, "net/ipv4/conf/eth0/rp_filter", "2");
        write_sysctl(ws, "net/ipv6/conf/eth0/accept_ra", "0");
        run_checked(ws, {"ip", "addr", "add", std::string(kWsV4) + "/24", "dev", kEth});
        run_checked(ws, {"ip", "addr", "add", std::string(kWsV6) + "/64", "dev", kEth});
        run_checked(ws, {"ip", "addr", "add", std::string(kWsV6Second) + "/64", "dev", kEth,
                         "valid_lft", "3600", "preferred_lft", "1800"});
        run_checked(ws, {"ip", "link", "set", kEth, "up"});
        run_checked(nw, {"ip", "addr", "add", std::string(kNwV4) + "/24", "dev", "nw0"});
        run_checked(nw, {"ip", "addr", "add", std::string(kNwV6) + "/64", "dev", "nw0"});
        run_checked(nw, {"ip", "link", "set", "nw0", "up"});
        run_checked(ws, {"ip", "route", "add", "default", "via", kNwV4});
        run_checked(ws, {"ip", "-6", "route", "add", "default", "via", kNwV6});
        // The namespace of the workstation's process is the workstation.
        ::setenv("ALTIREN_REGISTRY_ROOT", registry.c_str(), 1);
        ::setenv("QL_DEVICE", device.c_str(), 1);
        const RunResult installed = run("", {quellin, "--install"});
        ASSERT_TRUE(installed.ok()) << installed.err;
        EXPECT_NE(installed.out.find("PacketPoolSize = 42000 (written)"), std::string::npos)
            << installed.out;
        ASSERT_TRUE(settled());
        before = interface_snapshot(ws, kEth);
        lifetimesBefore = address_lifetimes(ws, kEth);
        capturedAt = std::chrono::steady_clock::now();
    }

    void TearDown() override {
        if (playing) {
            NetnsGuard in(ws);
            NuvexStopEmulation();
        }
        for (auto& d : daemons)
            if (d.running())
                d.stop(Millis(5000));
        // What a daemon that failed the test may have left holding eth0.
        for (const auto& name : list_netns())
            for (pid_t pid : pids)
                if (name.rfind("quellin-" + std::to_string(pid) + "-", 0) == 0)
                    delete_netns(name);
        for (const auto& ns : made)
            delete_netns(ns);
        const std::string text = log_text();
        for (const char* bad : {"Sanitizer", "runtime error:"})
            EXPECT_EQ(text.find(bad), std::string::npos) << text;
    }

    // The workstation's link is up and no address waits for duplicate detection.
    bool settled() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            const RunResult link = run(ws, {"ip", "-j", "link", "show", "dev", kEth});
            const RunResult addr = run(ws, {"ip", "address", "show", "dev", kEth});
            if (link.ok() && link.out.find("\"operstate\":\"UP\"") != std::string::npos &&
                addr.out.find("tentative") == std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // quellin as the README has it: `quellin --foreground --bind tap:ql0=eth0`, typed in a
    // shell of the workstation (its network namespace, the host's mount namespace), or
    // with the arguments `args`.
    // Its output goes to `output` (the log file unless told otherwise).
    Process& start_daemon(const std::vector<std::string>& args = {"--foreground", "--bind",
                                                                  "tap:ql0=eth0"},
                          const std::string& output = {}) {
        std::vector<std::string> argv = {"nsenter", "--net=/run/netns/" + ws, quellin};
        argv.insert(argv.end(), args.begin(), args.end());
        daemons.push_back(Process::start("", argv, output.empty() ? log : output));
        pids.push_back(daemons.back().pid());
        return daemons.back();
    }

    // Until the daemon answers and ql0 has the workstation's addresses.
    bool taken_over() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (can_connect() && link_exists(ws, kTap)) {
                const auto lifetimes = address_lifetimes(ws, kTap);
                if (lifetimes.count(kWsV4) && lifetimes.count(kWsV6) &&
                    lifetimes.count(kWsV6Second))
                    return true;
            }
            if (!daemons.back().running())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    bool can_connect() const { return testsupport::can_connect_unix(device); }

    // The held namespace of a daemon, as it names it.
    std::string held_namespace(pid_t pid) const {
        return "quellin-" + std::to_string(pid) + "-" + kEth;
    }

    int play(uint16_t delayMs, double kbps) {
        NetnsGuard in(ws);
        PlayParameters p{};
        NuvexSetDefaultPlayParams(&p);
        p.adapterAddress = workstation_ipv4(kWsV4);
        p.minDelay = p.maxDelay = delayMs;
        p.eastOutBandwidth = p.eastInBandwidth = kbps;
        p.westOutBandwidth = p.westInBandwidth = kbps;
        const int rc = NuvexPlayEmulation(&p);
        playing = rc == 0;
        for (int i = 0; i < 500 && playing; ++i) {
            uint32_t on = 0;
            if (NuvexGetStatus(&on) == 0 && on)
                return rc;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the daemon did not start emulating";
        return rc;
    }

    void stop_playing() {
        NetnsGuard in(ws);
        playing = false;
        EXPECT_EQ(NuvexStopEmulation(), 0);
    }

    // The workstation as it was before the daemon came, after it has gone.
    void expect_given_back() {
        std::string after;
        for (int i = 0; i < 150; ++i) {
            if (settled())
                after = interface_snapshot(ws, kEth);
            if (after == before)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(after, before);
        EXPECT_FALSE(link_exists(ws, kTap));
        // The temporary address kept counting down its lifetimes meanwhile, no more.
        const auto elapsed =
            static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::steady_clock::now() - capturedAt)
                                      .count());
        const auto was = lifetimesBefore.at(kWsV6Second);
        const auto now = address_lifetimes(ws, kEth).at(kWsV6Second);
        EXPECT_LE(now.valid, was.valid);
        EXPECT_GE(now.valid + elapsed + 2, was.valid);
        EXPECT_LE(now.preferred, was.preferred);
        EXPECT_GE(now.preferred + elapsed + 2, was.preferred);
        for (pid_t pid : pids)
            EXPECT_FALSE(netns_exists(held_namespace(pid)));
    }

    std::string log_text() const {
        std::ifstream in(log);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

    UdpFlow udp(const std::string& from, const std::string& to, const std::string& dest,
                uint64_t count, uint64_t rate, std::size_t size, int port) const {
        UdpFlow f;
        f.from = from;
        f.to = to;
        f.dest = dest;
        f.count = count;
        f.rate = rate;
        f.size = size;
        f.port = port;
        f.idle = Millis(600);
        return f;
    }

    std::string quellin; // the daemon program
    testsupport::TempDir dir{"e2e-workstation"};
    std::string registry = (dir / "registry").string(); // made by the store
    std::string device = (dir / "QL").string();
    std::string log = (dir / "quellin.log").string();
    std::string ws, nw;
    std::vector<std::string> made;
    std::vector<Process> daemons;
    std::vector<pid_t> pids;
    std::string before;
    std::map<std::string, Lifetimes> lifetimesBefore;
    std::chrono::steady_clock::time_point capturedAt;
    bool playing = false;
};

} // namespace e2e
