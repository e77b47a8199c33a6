// altiren-netlab, the command the benchmark builds its labs with.
#include "NetnsLab/Lab.h"
#include "NetnsLab/Netns.h"
#include "NetnsLab/Process.h"

#include <gtest/gtest.h>

using namespace netnslab;

namespace {

class Netlab : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto why = Lab::unavailable_reason())
            GTEST_SKIP() << *why;
    }
};

} // namespace

TEST_F(Netlab, RunsTheCommandBesideABridgedLabAndRemovesIt) {
    // The command sees the lab through its variables and reaches across it.
    RunResult r = run("",
                      {ALTIREN_NETLAB_PROGRAM, "--tag", "nt", "--", "sh", "-c",
                       "echo ns=$LAB_STATION,$LAB_WIRE,$LAB_NETWORK if=$LAB_STATION_IF; "
                       "ip netns exec $LAB_STATION ping -n -c 1 -W 2 $LAB_NETWORK_V4 "
                       ">/dev/null && echo reached; exit 5"},
                      Millis(30000));
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_NE(r.out.find("if=st0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("reached"), std::string::npos) << r.out << r.err;
    auto at = r.out.find("ns=");
    ASSERT_NE(at, std::string::npos);
    std::string names = r.out.substr(at + 3, r.out.find(' ', at) - at - 3);
    EXPECT_NE(names.find("altlab-ntst-"), std::string::npos) << names;
    for (const auto& ns : list_netns())
        EXPECT_EQ(names.find(ns), std::string::npos) << ns << " is left";
}

TEST_F(Netlab, AWireCommandWithATapTakesTheBridgesPlace) {
    // A stand-in for the daemon: a TAP made in the wire namespace and moved to
    // the station, which the lab then attaches.
    RunResult r =
        run("",
            {ALTIREN_NETLAB_PROGRAM, "--tag", "nu", "--wire-cmd",
             "ip tuntap add dev st0 mode tap && ip link set st0 netns $LAB_STATION && "
             "exec sleep 60",
             "--station-tap", "st0", "--", "sh", "-c",
             "echo if=$LAB_STATION_IF; ip netns exec $LAB_STATION ip addr show dev st0; "
             "ip netns exec $LAB_WIRE ip link show br0 >/dev/null 2>&1 || echo no-bridge"},
            Millis(30000));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("if=st0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("198.18.0.1/24"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2001:2::1/64"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("no-bridge"), std::string::npos) << r.out;
    for (const auto& ns : list_netns())
        EXPECT_NE(ns, Lab::namespace_name("st", "nu")) << "the station namespace is left";
}
