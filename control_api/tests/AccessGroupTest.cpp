// A user of the access group reaches the daemon and changes the registry store without
// root; a user outside it is refused, and the control library says why. The group is made
// for the test only (TestSupport/ThrowAwayGroup.h).
#include "AltirenAPI/DriverLog.h"
#include "AltirenAPI/Session.h"
#include "ServiceRegistry.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"
#include "TestSupport/ThrowAwayGroup.h"
#include "platform/AccessGroup.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

// What a call made as another user answered: its code and the causes the library gave.
struct Answer {
    int code = -100;
    std::string causes;
};

class AccessGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!ids.make(dir.str(), why))
            GTEST_SKIP() << why;
        group = ids.group;
        member = ids.member;
        outsider = ids.outsider;
        ASSERT_EQ(::chmod(dir.str().c_str(), 0755), 0); // the users reach what lies in it
        ASSERT_NO_FATAL_FAILURE(testsupport::register_service(root, QUELLIN_BINARY));
        ::setenv("ALTIREN_REGISTRY_ROOT", root.c_str(), 1);
        ASSERT_TRUE(daemon.start(QUELLIN_BINARY, device));
    }

    // Runs `call` in a child process as `uid` with the primary group `gid` and the
    // supplementary groups `groups`, as a login of that user would have them.
    static Answer As(unsigned uid, unsigned gid, std::vector<gid_t> groups,
                     const std::function<int()>& call) {
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            std::string causes;
            altiren_api::set_cause_sink([&](const std::string& c) { causes += c + "\n"; });
            int code = -101;
            if (::setgroups(groups.size(), groups.data()) == 0 && ::setresgid(gid, gid, gid) == 0 &&
                ::setresuid(uid, uid, uid) == 0)
                code = call();
            const std::string text = std::to_string(code) + "\n" + causes;
            (void)!::write(fds[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string text;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        ::waitpid(pid, nullptr, 0);
        Answer answer;
        const size_t end = text.find('\n');
        if (end == std::string::npos)
            return answer;
        answer.code = std::stoi(text.substr(0, end));
        answer.causes = text.substr(end + 1);
        return answer;
    }

    int Status() const {
        altiren_api::Session session{altiren_api::SessionConfig{device, root}};
        uint32_t emulating = 2;
        const int rc = session.getStatus(emulating);
        return rc == 0 && emulating != 0 ? -102 : rc;
    }

    int WriteSetting(const char* name, const char* key = kClientKey) const {
        Registry store(root);
        long rc = store.createKey(Hive::LocalMachine, key);
        if (rc == 0)
            rc = store.setValue(Hive::LocalMachine, key, name, Value::Dword(1));
        return static_cast<int>(rc);
    }

    static constexpr const char* kClientKey = "SOFTWARE\\Orvane\\Pramitone\\Settings";
    static constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\QL";

    static struct stat Stat(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return st;
    }

    testsupport::TempDir dir{"access-group"};
    std::string root = (dir / "registry").string();
    std::string device = (dir / "run" / "QL").string();
    testsupport::ThrowAwayGroup ids;
    testsupport::QuellinProcess daemon;
    unsigned group = 0, member = 0, outsider = 0;
};

} // namespace

TEST_F(AccessGroupTest, AMemberUsesTheDaemonAndTheStoreAnOutsiderIsRefusedWithTheReason) {
    // What the daemon and the store made belongs to the group.
    const struct stat socket = Stat(device);
    EXPECT_TRUE(S_ISSOCK(socket.st_mode));
    EXPECT_EQ(socket.st_mode & 07777, 0660u);
    EXPECT_EQ(socket.st_gid, group);
    const struct stat store = Stat(root);
    EXPECT_EQ(store.st_mode & 07777, 02775u);
    EXPECT_EQ(store.st_gid, group);
    for (const char* file : {"/HKEY_LOCAL_MACHINE.reg", "/HKEY_LOCAL_MACHINE.reg.lock"}) {
        const struct stat st = Stat(root + file);
        EXPECT_EQ(st.st_mode & 07777, 0664u) << file;
        EXPECT_EQ(st.st_gid, group) << file;
    }

    // A member, the group among its supplementary ones.
    const Answer memberStatus =
        As(member, member, {static_cast<gid_t>(group)}, [&] { return Status(); });
    EXPECT_EQ(memberStatus.code, 0) << memberStatus.causes;
    EXPECT_EQ(memberStatus.causes, "");
    // Its change, under a umask that keeps everything to itself, stays the group's to read
    // and to change.
    EXPECT_EQ(As(member, member, {static_cast<gid_t>(group)},
                 [&] {
                     ::umask(077);
                     return WriteSetting("m");
                 })
                  .code,
              platform::registry::kSuccess);
    const struct stat changed = Stat(root + "/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(changed.st_uid, member);
    EXPECT_EQ(changed.st_gid, group);
    EXPECT_EQ(changed.st_mode & 07777, 0664u);
    // What the daemon acts on as root, the member reads and never changes: its parameters
    // and the records of what it gives back.
    for (const char* key : {kServiceKey, "SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters",
                            "SYSTEM\\CurrentControlSet\\Services\\QL\\Restore\\eth0"})
        EXPECT_EQ(As(member, member, {static_cast<gid_t>(group)},
                     [&] { return WriteSetting("Bindings", key); })
                      .code,
                  platform::registry::kAccessDenied)
            << key;
    EXPECT_EQ(As(member, member, {static_cast<gid_t>(group)},
                 [&] {
                     std::string image;
                     return static_cast<int>(Registry(root).queryString(
                         Hive::LocalMachine, kServiceKey, "ImagePath", image));
                 })
                  .code,
              platform::registry::kSuccess);

    // An outsider reads the store but changes nothing, and hears why the daemon is closed.
    const Answer outsiderStatus = As(outsider, outsider, {}, [&] { return Status(); });
    EXPECT_EQ(outsiderStatus.code, NUVEX_RC_NO_DRIVER);
    EXPECT_NE(outsiderStatus.causes.find("permission refused"), std::string::npos)
        << outsiderStatus.causes;
    EXPECT_NE(outsiderStatus.causes.find("usermod -aG altiren"), std::string::npos)
        << outsiderStatus.causes;
    EXPECT_EQ(As(outsider, outsider, {}, [&] { return WriteSetting("o"); }).code,
              platform::registry::kAccessDenied);
    EXPECT_EQ(As(outsider, outsider, {},
                 [&] {
                     uint32_t value = 0;
                     return static_cast<int>(
                         Registry(root).queryDword(Hive::LocalMachine, kClientKey, "m", value));
                 })
                  .code,
              platform::registry::kSuccess);
}
