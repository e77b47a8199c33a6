// The driver manager over the control library and the quellin daemon in a process of its
// own, which the tests end and start again.
#include "AltirenClient/DriverMngr.h"
#include "ServiceRegistry.h"

#include <TestSupport/TempDir.h>

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class DriverMngrOnDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(testsupport::register_service(dir.str(), QUELLIN_BINARY));
        ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
        ::setenv("QL_DEVICE", path.c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(StartDaemon());
        mngr.SetActiveAdapterAddress("198.18.0.1");
        mngr.ClearAndDefaultPlayParams(&record);
    }
    void TearDown() override {
        if (mngr.IsPlaying())
            mngr.Stop();
        EndDaemon(SIGTERM);
    }

    void StartDaemon() {
        daemon = ::fork();
        ASSERT_GE(daemon, 0);
        if (daemon == 0) {
            ::execl(QUELLIN_BINARY, "quellin", "--foreground", "--device", path.c_str(), "--seed",
                    "5", "--test-adapter", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        bool listening = false;
        for (int i = 0; i < 250 && !listening; ++i) {
            listening = CanConnect();
            if (!listening)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(listening);
    }
    void EndDaemon(int signal) {
        if (daemon <= 0)
            return;
        ::kill(daemon, signal);
        int status = 0;
        ::waitpid(daemon, &status, 0);
        daemon = -1;
    }
    bool CanConnect() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    testsupport::TempDir dir{"mngr-daemon"};
    std::string path = (dir / "QL").string();
    pid_t daemon = -1;
    CDriverMngr mngr;
    CPlayParams record;
};

} // namespace

// The daemon dies while an emulation plays: the stop says what happened, ends the
// client's playing state, and the restarted daemon plays again.
TEST_F(DriverMngrOnDaemon, StopAfterTheDaemonDiedEndsPlayingAndPlayWorksAgain) {
    ASSERT_EQ(mngr.Play(record.get()), 1) << mngr.GetLastErrorText();
    ASSERT_TRUE(mngr.IsPlaying());
    EndDaemon(SIGKILL);

    EXPECT_NE(mngr.Stop(), 0);
    EXPECT_FALSE(mngr.IsPlaying());
    EXPECT_EQ(mngr.GetLastErrorText(), "Failed to communicate with driver");

    ASSERT_NO_FATAL_FAILURE(StartDaemon());
    ASSERT_EQ(mngr.Play(record.get()), 1) << mngr.GetLastErrorText();
    EXPECT_TRUE(mngr.IsPlaying());
    EXPECT_EQ(mngr.Stop(), 0);
    EXPECT_FALSE(mngr.IsPlaying());

    // With no daemon at all a stop reports the same and leaves nothing playing.
    ASSERT_EQ(mngr.Play(record.get()), 1) << mngr.GetLastErrorText();
    EndDaemon(SIGKILL);
    EXPECT_NE(mngr.Stop(), 0);
    EXPECT_FALSE(mngr.IsPlaying());
}
