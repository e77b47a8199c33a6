#include "NetnsLab/Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>

using namespace netnslab;

TEST(Process, RunCollectsOutputAndStatus) {
    RunResult r = run("", {"sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_FALSE(r.ok());
    EXPECT_THROW(run_checked("", {"sh", "-c", "exit 1"}), std::runtime_error);
    EXPECT_EQ(run_checked("", {"echo", "fine"}), "fine\n");
    // A missing program is a failed run, not a hang.
    RunResult missing = run("", {"/nonexistent/altiren-nothing"});
    EXPECT_EQ(missing.status, 127);
}

TEST(Process, TimeOutKillsTheWholeGroup) {
    auto start = std::chrono::steady_clock::now();
    // The shell's child would keep the pipes open if only the shell were killed.
    RunResult r = run("", {"sh", "-c", "sleep 30 & sleep 30"}, Millis(300));
    EXPECT_TRUE(r.timed_out);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Process, LinesArriveAsTheyAreWrittenAndStopEndsTheChild) {
    Process p = Process::start("", {"sh", "-c", "echo one; echo ready now; exec sleep 30"});
    auto line = p.wait_for_line("ready", Millis(5000));
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "ready now");
    EXPECT_FALSE(p.read_line(Millis(50))); // nothing more yet
    pid_t pid = p.pid();
    RunResult r = p.stop(Millis(2000));
    EXPECT_EQ(r.status, 128 + SIGTERM);
    EXPECT_EQ(r.out, "one\nready now\n");
    errno = 0;
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(Process, EnteringAMissingNamespaceThrows) {
    EXPECT_THROW(Process::start("altlab-no-such-namespace", {"true"}), std::runtime_error);
}
