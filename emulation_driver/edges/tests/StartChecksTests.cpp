// What start-up tells of an interface another daemon holds and of its own mount namespace:
// found from the named namespaces' folder and the namespace links of /proc.
#include "QuellinEdges/Namespaces.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quellin::edges;

namespace {

// A process id that no process has: a child's, once reaped.
long ended_pid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(HoldingNamespace, OnlyALiveDaemonsNamespaceOfThatInterfaceHoldsIt) {
    testsupport::TempDir folder("held-by");
    const std::string live = std::to_string(::getpid());
    for (const std::string& name :
         std::vector<std::string>{"quellin-" + std::to_string(ended_pid()) + "-eth0",
                                  "quellin-" + live + "-eth10", "quellin-" + live + "-xeth0x",
                                  "other-" + live + "-eth0", "quellin--eth0", "quellin-1x-eth0"})
        testsupport::write_file(folder / name, "");
    EXPECT_FALSE(holding_namespace("eth0", folder.str()));

    testsupport::write_file(folder / ("quellin-" + live + "-eth0"), "");
    const auto held = holding_namespace("eth0", folder.str());
    ASSERT_TRUE(held);
    EXPECT_EQ(held->name, "quellin-" + live + "-eth0");
    EXPECT_EQ(held->pid, ::getpid());
    EXPECT_FALSE(holding_namespace("eth1", folder.str()));
    EXPECT_FALSE(holding_namespace("eth0", (folder / "none").string())); // no folder
}

TEST(HoldingNamespace, ADaemonOfAnotherNetworkNamespaceHoldsNothingOfThisOne) {
    // A process in a network namespace of its own stands for that daemon.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        const char made = ::unshare(CLONE_NEWNET) == 0 ? 1 : 0;
        (void)!::write(ready[1], &made, 1);
        ::pause();
        ::_exit(0);
    }
    char made = 0;
    (void)!::read(ready[0], &made, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    testsupport::TempDir folder("held-elsewhere");
    testsupport::write_file(folder / ("quellin-" + std::to_string(other) + "-eth0"), "");
    const bool held = holding_namespace("eth0", folder.str()).has_value();
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    if (!made)
        GTEST_SKIP() << "cannot make a network namespace";
    EXPECT_FALSE(held);
}

TEST(MountNamespaceCheck, TheWarningSaysOnlyWhatWasFound) {
    const auto shared = check_mount_namespace("/proc/self/ns/mnt", "/proc/self/ns/mnt");
    EXPECT_EQ(shared.match, MountNamespaceMatch::Shared);
    EXPECT_EQ(mount_namespace_warning(shared, "eth0"), "");

    // Two different namespaces stand for a private mount namespace.
    const auto apart = check_mount_namespace("/proc/self/ns/mnt", "/proc/self/ns/net");
    EXPECT_EQ(apart.match, MountNamespaceMatch::Private);
    const std::string privateText = mount_namespace_warning(apart, "eth0");
    EXPECT_EQ(privateText.rfind("this process is not in the mount namespace of process 1", 0), 0u)
        << privateText;
    EXPECT_NE(privateText.find("holds eth0"), std::string::npos) << privateText;

    // Process 1's namespace unread: neither claim is made.
    testsupport::TempDir dir("mnt-check");
    const std::string missing = (dir / "mnt").string();
    const auto unknown = check_mount_namespace("/proc/self/ns/mnt", missing);
    EXPECT_EQ(unknown.match, MountNamespaceMatch::Unknown);
    const std::string unknownText = mount_namespace_warning(unknown, "eth0");
    EXPECT_NE(unknownText.find("is not known (" + missing + ": No such file or directory)"),
              std::string::npos)
        << unknownText;
    EXPECT_EQ(unknownText.find("this process is not in"), std::string::npos) << unknownText;
    EXPECT_NE(unknownText.find("if it is not, the network namespace that holds eth0"),
              std::string::npos)
        << unknownText;
}
