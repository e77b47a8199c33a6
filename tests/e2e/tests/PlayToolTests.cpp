// altiren-play never says it plays what it does not: it plays for the station's own
// address unless told otherwise, refuses an address no adapter has and values its fields
// cannot hold.
#include "DaemonLab.h"

#include <csignal>
#include <future>

using namespace e2e;

TEST_F(DaemonLab, AltirenPlayPlaysForTheStationsOwnAddressAndRefusesOthers) {
    // Its own lines go to standard error: standard output stays the command's.
    const RunResult own = netnslab::run(
        lab().station(), {ALTIREN_PLAY_PROGRAM, "--delay-ms", "20", "--", "echo", "only mine"});
    EXPECT_EQ(own.status, 0) << own.out << own.err;
    EXPECT_EQ(own.out, "only mine\n");
    EXPECT_NE(own.err.find("playing for 198.18.0.1: delay 20 ms each way"), std::string::npos)
        << own.err;
    EXPECT_NE(own.err.find("East bucket drops 0"), std::string::npos) << own.err;
    EXPECT_NE(own.err.find("stopped"), std::string::npos) << own.err;

    const RunResult none = netnslab::run(
        lab().station(), {ALTIREN_PLAY_PROGRAM, "--address", "198.18.0.99", "--", "true"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no adapter of the daemon has the address 198.18.0.99"),
              std::string::npos)
        << none.err;

    const RunResult big =
        netnslab::run(lab().station(), {ALTIREN_PLAY_PROGRAM, "--delay-ms", "70000", "--", "true"});
    EXPECT_EQ(big.status, 2);
    EXPECT_NE(big.err.find("from 0 to 65535"), std::string::npos) << big.err;
    // Nothing was played for either.
    EXPECT_EQ(log_text().find("plays: adapter 1 (198.18.0.1), delay 70000"), std::string::npos);
    uint32_t emulating = 1;
    NetnsGuard in(lab().station());
    EXPECT_EQ(NuvexGetStatus(&emulating), 0);
    EXPECT_EQ(emulating, 0u);
}

// The daemon stops while altiren-play runs its command: it says that the command runs
// without the emulation.
TEST_F(DaemonLab, AltirenPlaySaysSoWhenTheDaemonStopsUnderItsPlay) {
    auto played = std::async(std::launch::async, [this] {
        return netnslab::run(lab().station(),
                             {ALTIREN_PLAY_PROGRAM, "--delay-ms", "20", "--", "sleep", "4"});
    });
    ASSERT_TRUE(emulating_within(std::chrono::seconds(10))) << log_text();
    // altiren-play has seen the emulation start too and runs its command.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The daemon's log lines carry its process id: "quellin[PID]: ...".
    const std::string text = log_text();
    const auto at = text.find("quellin[");
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_EQ(::kill(static_cast<pid_t>(std::stol(text.substr(at + 8))), SIGTERM), 0);
    const RunResult r = played.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the daemon no longer plays the emulation"), std::string::npos)
        << r.out << r.err;
}
