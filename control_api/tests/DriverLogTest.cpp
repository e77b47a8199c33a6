// The cause of every "-1" goes to the system log, once, and nothing else about the
// answer changes.
#include "AltirenAPI/DriverLog.h"
#include "AltirenAPI/Session.h"

#include "TestSupport/TempDir.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace altiren_api;

namespace {

class DriverLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        set_cause_sink([this](const std::string& c) {
            std::lock_guard<std::mutex> lock(mutex);
            causes.push_back(c);
        });
    }
    void TearDown() override { set_cause_sink({}); }

    void install() {
        using platform::registry::Hive;
        platform::registry::Registry reg(dir.str());
        const std::string service = "SYSTEM\\CurrentControlSet\\Services\\QL";
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, service), 0);
        ASSERT_EQ(reg.setValue(Hive::LocalMachine, service, "ImagePath",
                               platform::registry::Value::Sz("/bin/sh")),
                  0);
        ASSERT_EQ(
            reg.createKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\Root\\SH_QUELLIN"),
            0);
    }
    std::vector<std::string> taken() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(causes, {});
    }

    testsupport::TempDir dir{"driver-log"};
    std::string path = (dir / "QL").string();
    std::mutex mutex;
    std::vector<std::string> causes;
};

} // namespace

TEST_F(DriverLogTest, NoDaemonAndNoInstallationAreToldWithThePathAndTheCause) {
    Session session{SessionConfig{path, dir.str()}};
    PlayParameters params{};
    EXPECT_EQ(session.play(params), NUVEX_RC_NO_DRIVER);
    auto c = taken();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_NE(c[0].find("the driver is not installed: no key HKEY_LOCAL_MACHINE\\SYSTEM\\"
                        "CurrentControlSet\\Services\\QL (registry store " +
                        dir.str()),
              std::string::npos)
        << c[0];

    install();
    uint32_t emulating = 0;
    EXPECT_EQ(session.getStatus(emulating), NUVEX_RC_NO_DRIVER);
    c = taken();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], "no daemon: there is no control socket (" + path + ": errno " +
                        std::to_string(ENOENT) + ", " + std::strerror(ENOENT) + ")");
    // Asked again and again, as a client's timer does: written once.
    EXPECT_EQ(session.getStatus(emulating), NUVEX_RC_NO_DRIVER);
    EXPECT_EQ(session.forceDriverReset(), NUVEX_RC_NO_DRIVER);
    EXPECT_TRUE(taken().empty());

    // A socket file that nobody listens on any more.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    EXPECT_EQ(session.getStatus(emulating), NUVEX_RC_NO_DRIVER);
    c = taken();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].rfind("no daemon listens on the control socket (" + path + ": errno " +
                             std::to_string(ECONNREFUSED),
                         0),
              0u)
        << c[0];
    EXPECT_EQ(std::string(NuvexResultText(NUVEX_RC_NO_DRIVER)).find(path), std::string::npos);
}

TEST(DriverLogText, EveryCauseNamesThePathAndTheErrorInWords) {
    EXPECT_NE(unreachable_cause("/run/quellin/QL", EACCES).find("permission refused"),
              std::string::npos);
    EXPECT_NE(unreachable_cause("/run/quellin/QL", EACCES).find("/run/quellin/QL: errno 13"),
              std::string::npos);
    EXPECT_NE(unreachable_cause("/x", EIO).find("cannot be reached (/x: errno 5"),
              std::string::npos);
    EXPECT_EQ(lost_cause("/x", 109), "the daemon on /x did not answer (error 109)");
    EXPECT_NE(not_installed_cause("/r", "no ImagePath").find("quellin --install"),
              std::string::npos);
}
