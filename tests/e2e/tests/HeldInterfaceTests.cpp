// A second daemon asked for an eth0 that a running daemon holds, on a socket of its own:
// it ends at once naming the daemon that holds eth0, which keeps it and serves on.
#include "WorkstationLab.h"

#include <gtest/gtest.h>

using namespace netnslab;
using namespace e2e;

namespace {

class HeldInterface : public WorkstationLab {
protected:
    HeldInterface() { quellin = QUELLIN_BINARY; }
};

} // namespace

TEST_F(HeldInterface, ASecondDaemonNamesTheDaemonThatHoldsEth0AndLeavesIt) {
    Process& first = start_daemon();
    ASSERT_TRUE(taken_over()) << log_text();
    const std::string holder = std::to_string(first.pid());

    const std::string otherDevice = (dir / "QL2").string();
    const RunResult second = run("", {"nsenter", "--net=/run/netns/" + ws, quellin, "--foreground",
                                      "--device", otherDevice, "--bind", "tap:ql1=eth0"});
    EXPECT_EQ(second.status, 1) << second.err;
    EXPECT_NE(second.err.find("tap:ql1=eth0: eth0 is held by the daemon with process id " + holder +
                              " (in its network namespace " + held_namespace(first.pid()) +
                              "): stop that daemon first"),
              std::string::npos)
        << second.err;
    EXPECT_EQ(second.err.find("--wait waits for it to appear"), std::string::npos) << second.err;
    EXPECT_FALSE(link_exists(ws, "ql1"));

    // The first keeps eth0 and serves on.
    EXPECT_TRUE(link_exists(held_namespace(first.pid()), kEth));
    EXPECT_EQ(play(10, NUVEX_UNLIMITED_BANDWIDTH), 0);
    stop_playing();
    EXPECT_EQ(first.stop(Millis(10000)).status, 0);
    expect_given_back();
}
