#include "QuellinLinux/ControlLog.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/EventLoop.h"
#include "QuellinLinux/SignalWatch.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quellin::os;

namespace {
std::optional<DaemonOptions> parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "quellin");
    return parse_daemon_options(static_cast<int>(args.size()), args.data(), error);
}
} // namespace

TEST(DaemonOptions, DeviceSeedAndForeground) {
    std::string error;
    ::setenv("QL_DEVICE", "/tmp/from-env/QL", 1);
    auto plain = parse({}, error);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->device, "/tmp/from-env/QL");
    EXPECT_FALSE(plain->foreground);
    EXPECT_FALSE(plain->seed);

    auto all = parse({"--foreground", "--device", "/tmp/x/QL", "--seed", "4294967295"}, error);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->device, "/tmp/x/QL"); // the option overrides the environment
    EXPECT_TRUE(all->foreground);
    EXPECT_EQ(all->seed, 4294967295u);

    auto binds = parse({"--bind", "tap:st0=wn0", "--bind", "if:a=b", "--test-adapter"}, error);
    ASSERT_TRUE(binds);
    EXPECT_EQ(binds->binds, (std::vector<std::string>{"tap:st0=wn0", "if:a=b"}));
    EXPECT_TRUE(binds->testAdapter);
    EXPECT_FALSE(binds->install || binds->uninstall);
    EXPECT_TRUE(parse({"--install"}, error)->install);
    EXPECT_TRUE(parse({"--help"}, error)->help);
    EXPECT_TRUE(parse({"-h"}, error)->help);
    EXPECT_TRUE(parse({"--version"}, error)->version);
    EXPECT_TRUE(parse({"--foreground", "--wait"}, error)->wait);
    EXPECT_FALSE(parse({"--foreground"}, error)->wait);
    EXPECT_TRUE(parse({"--uninstall"}, error)->uninstall);

    for (auto bad : std::vector<std::vector<const char*>>{{"--seed"},
                                                          {"--seed", "-1"},
                                                          {"--seed", "4294967296"},
                                                          {"--seed", "12x"},
                                                          {"--device"},
                                                          {"--bind"},
                                                          {"--install", "--uninstall"},
                                                          {"--verbose"}}) {
        error.clear();
        EXPECT_FALSE(parse(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SignalWatch, TerminationSignalsArriveOnTheLoop) {
    EventLoop loop;
    std::vector<int> got;
    SignalWatch watch(loop, [&](int signal) {
        got.push_back(signal);
        loop.stop();
    });
    ::kill(::getpid(), SIGTERM);
    loop.run();
    EXPECT_EQ(got, std::vector<int>{SIGTERM});
}

TEST(ControlLog, APlayLineNamesTheFiltersAddresses) {
    quellin::wire::DriverPlayBlock block;
    block.setLossType(2);
    block.setLossRandomly(500);
    block.setFilterMode(0);
    block.setFilterCount(2);
    block.setFilterEntry(0, {0xC0A80101, 0xC0A80101, 0, 0});
    block.setFilterEntry(1, {0xC6120000, 0xC61200FF, 0, 0});
    const std::string line = describe_conditions(block);
    EXPECT_NE(line.find(", loss random 5.00 %"), std::string::npos) << line;
    EXPECT_NE(line.find(", 2 filter entries (exclude): 192.168.1.1, 198.18.0.0-198.18.0.255"),
              std::string::npos)
        << line;
    block.setFilterCount(0);
    EXPECT_EQ(describe_conditions(block).find("filter"), std::string::npos);
}

// Any signal that would end the process arrives on the loop, SIGPIPE too when another
// process sends it; a write to a closed pipe only fails.
TEST(SignalWatch, EveryStopSignalArrivesButAWriteToAClosedPipeOnlyFails) {
    EventLoop loop;
    std::vector<int> got;
    SignalWatch watch(loop, [&](int signal) { got.push_back(signal); });
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    EXPECT_EQ(::write(fds[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
    loop.run_once(50);
    EXPECT_TRUE(got.empty());

    const std::vector<int> sent = {SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGRTMIN + 1};
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int s : sent) {
            ::kill(parent, s);
            ::usleep(20000); // one at a time: standard signals do not queue
        }
        ::_exit(0);
    }
    for (int i = 0; i < 100 && got.size() < sent.size(); ++i)
        loop.run_once(50);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(got, sent);
}
