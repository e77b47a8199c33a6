// The command-line tools as a user outside the access group runs them: each refusal names
// the group and how to join it, as the control library does for the client. The group is
// made for the test only (TestSupport/ThrowAwayGroup.h); the daemon serves its socket with
// the test adapter.
#include "NetnsLab/Process.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"
#include "TestSupport/ThrowAwayGroup.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AccessTools : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!ids.make(dir.str(), why))
            GTEST_SKIP() << why;
        ASSERT_EQ(::chmod(dir.str().c_str(), 0755), 0); // the users reach what lies in it
        // The shared store as an installation leaves it: made by root, given to the group.
        ASSERT_EQ(platform::registry::Registry(root).createKey(
                      platform::registry::Hive::LocalMachine, "SOFTWARE\\Orvane\\Pramitone"),
                  0);
        ::setenv("ALTIREN_REGISTRY_ROOT", root.c_str(), 1);
        ::setenv("QL_DEVICE", device.c_str(), 1);
        ASSERT_TRUE(daemon.start(QUELLIN_BINARY, device));
    }

    // The command as the outsider: its own user and group, no supplementary group.
    netnslab::RunResult as_outsider(std::vector<std::string> argv) const {
        const std::string id = std::to_string(ids.outsider);
        std::vector<std::string> all = {"setpriv", "--reuid=" + id, "--regid=" + id,
                                        "--clear-groups", "--"};
        all.insert(all.end(), argv.begin(), argv.end());
        return netnslab::run("", all);
    }
    netnslab::RunResult as_member(std::vector<std::string> argv) const {
        std::vector<std::string> all = ids.as_member();
        all.insert(all.end(), argv.begin(), argv.end());
        return netnslab::run("", all);
    }

    testsupport::TempDir dir{"access-tools"};
    std::string root = (dir / "registry").string();
    std::string device = (dir / "run" / "QL").string();
    testsupport::ThrowAwayGroup ids;
    testsupport::QuellinProcess daemon;
};

const char* const kJoin =
    "root and the group altiren (usermod -aG altiren USER, then log in again)";

} // namespace

TEST_F(AccessTools, AnOutsiderIsToldTheGroupAndHowToJoinAMemberIsServed) {
    const std::vector<std::string> set = {
        ALTIREN_REG_PROGRAM, "set", "HKLM\\SOFTWARE\\Test", "Value", "REG_DWORD", "1"};
    const netnslab::RunResult outsiderSet = as_outsider(set);
    EXPECT_EQ(outsiderSet.status, 3) << outsiderSet.err;
    EXPECT_NE(
        outsiderSet.err.find("access denied: the registry store " + root + " is for " + kJoin),
        std::string::npos)
        << outsiderSet.err;
    const netnslab::RunResult memberSet = as_member(set);
    EXPECT_EQ(memberSet.status, 0) << memberSet.err;

    const netnslab::RunResult outsiderPlay =
        as_outsider({ALTIREN_PLAY_PROGRAM, "--delay-ms", "10", "--", "true"});
    EXPECT_EQ(outsiderPlay.status, 1) << outsiderPlay.err;
    EXPECT_NE(outsiderPlay.err.find("the daemon cannot be reached on " + device +
                                    ": Permission denied: the control socket is for " + kJoin),
              std::string::npos)
        << outsiderPlay.err;
    // A member gets past the socket to the adapters (the test adapter has no address here).
    const netnslab::RunResult memberPlay =
        as_member({ALTIREN_PLAY_PROGRAM, "--delay-ms", "10", "--", "true"});
    EXPECT_EQ(memberPlay.err.find("cannot be reached"), std::string::npos) << memberPlay.err;
}
