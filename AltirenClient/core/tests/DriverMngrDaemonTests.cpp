// The driver manager over the control library and the quellin daemon in a process of its
// own, which the tests end and start again.
#include "AltirenClient/DriverMngr.h"
#include "ServiceRegistry.h"

#include <TestSupport/QuellinProcess.h>
#include <TestSupport/TempDir.h>

#include <csignal>
#include <gtest/gtest.h>

namespace {

class DriverMngrOnDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(
            testsupport::start_registered_daemon(QUELLIN_BINARY, dir.str(), path, daemon));
        mngr.SetActiveAdapterAddress("198.18.0.1");
        mngr.ClearAndDefaultPlayParams(&record);
    }
    void TearDown() override {
        if (mngr.IsPlaying())
            mngr.Stop();
        EndDaemon(SIGTERM);
    }

    void StartDaemon() { ASSERT_TRUE(daemon.start(QUELLIN_BINARY, path)); }
    void EndDaemon(int signal) { daemon.stop(signal); }

    testsupport::TempDir dir{"mngr-daemon"};
    std::string path = (dir / "QL").string();
    testsupport::QuellinProcess daemon;
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
