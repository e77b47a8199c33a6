// altiren-play's command line: a value its field cannot hold is refused, never cut.
#include "PlayOptions.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>
#include <vector>

using altiren_play::parse_play_options;

namespace {
std::optional<altiren_play::PlayOptions> parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "altiren-play");
    return parse_play_options(static_cast<int>(args.size()), args.data(), error);
}
} // namespace

TEST(PlayOptions, ValuesWithinTheirFieldsAreTaken) {
    std::string error;
    auto o = parse({"--address", "198.18.0.1", "--delay-ms", "65535", "--kbps", "10000.5",
                    "--bucket-kb", "16", "--loss-pct", "100", "--reset", "--", "ping", "-c1"},
                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->address, "198.18.0.1");
    EXPECT_EQ(o->delayMs, 65535);
    EXPECT_DOUBLE_EQ(o->kbps, 10000.5);
    EXPECT_EQ(o->bucketKb, 16);
    EXPECT_DOUBLE_EQ(o->lossPct, 100);
    EXPECT_TRUE(o->reset);
    EXPECT_EQ(o->command, 13);
    auto plain = parse({}, error);
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->address); // the station's own, found later
    EXPECT_EQ(plain->command, 0);
}

TEST(PlayOptions, ValuesTheirFieldsCannotHoldAreRefused) {
    for (const auto& bad :
         std::vector<std::vector<const char*>>{{"--delay-ms", "70000"}, // once played as 4,464 ms
                                               {"--delay-ms", "1.5"},
                                               {"--delay-ms", "-1"},
                                               {"--delay-ms", "nan"},
                                               {"--bucket-kb", "65535"}, // the block's "unlimited"
                                               {"--bucket-kb", "2.5"},
                                               {"--kbps", "429496730"},
                                               {"--kbps", "inf"},
                                               {"--loss-pct", "100.5"},
                                               {"--loss-pct"},
                                               {"--address"},
                                               {"--"},
                                               {"--speed", "3"}}) {
        std::string error;
        EXPECT_FALSE(parse(bad, error)) << bad[0];
        EXPECT_FALSE(error.empty()) << bad[0];
    }
    std::string error;
    parse({"--delay-ms", "70000"}, error);
    EXPECT_NE(error.find("from 0 to 65535"), std::string::npos) << error;
}

TEST(PlayOptions, HelpIsAnOptionAndTheUsageSaysWhatEachOnePlays) {
    std::string error;
    for (const char* help : {"--help", "-h"}) {
        auto o = parse({"--delay-ms", "5", help, "--speed"}, error);
        ASSERT_TRUE(o) << error;
        EXPECT_TRUE(o->help);
    }
    EXPECT_FALSE(parse({"--delay-ms", "5"}, error)->help);

    const std::string usage = altiren_play::play_usage();
    EXPECT_EQ(usage.rfind("usage: altiren-play", 0), 0u) << usage;
    EXPECT_NE(usage.find("limits East out only, the station's upload"), std::string::npos) << usage;
    EXPECT_NE(usage.find("download is not limited"), std::string::npos) << usage;
    EXPECT_NE(usage.find("random loss of P % in each direction"), std::string::npos) << usage;
    EXPECT_NE(usage.find("standard output is\nCOMMAND's alone"), std::string::npos) << usage;
}

TEST(PlayProgram, HelpGoesToStandardOutputAndSucceeds) {
    FILE* pipe = ::popen((std::string(ALTIREN_PLAY_PROGRAM) + " --help 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    std::array<char, 256> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_EQ(out, altiren_play::play_usage());
}
