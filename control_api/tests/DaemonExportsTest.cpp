// The exports of the shared library against the quellin daemon in a process of its own.
#include "AltirenAPI.h"
#include "ServiceRegistry.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

class DaemonExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(
            testsupport::start_registered_daemon(QUELLIN_BINARY, dir.str(), path, daemon));
        NuvexSetDefaultPlayParams(&params);
    }
    void TearDown() override { daemon.stop(SIGTERM); }

    // The driver's emulating flag once it settles on `want` (up to 5 s).
    static bool status_becomes(uint32_t want) {
        for (int i = 0; i < 250; ++i) {
            uint32_t emulating = 2;
            if (NuvexGetStatus(&emulating) == 0 && emulating == want)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    testsupport::TempDir dir{"daemon-exports"};
    std::string path = (dir / "QL").string();
    testsupport::QuellinProcess daemon;
    PlayParameters params{};
};

} // namespace

TEST_F(DaemonExportsTest, PlayStatusStatisticsAndStop) {
    ASSERT_EQ(NuvexIsDriverInstalled(), 1);
    uint32_t stats[12];
    EXPECT_EQ(GetLastSecondStatistics(stats), 74);
    params.minDelay = params.maxDelay = 50;
    ASSERT_EQ(NuvexPlayEmulation(&params), 0);
    EXPECT_TRUE(status_becomes(1));
    EXPECT_EQ(GetLastSecondStatistics(stats), 0);
    NuvexPacketList list{};
    list.listsWanted = 1;
    EXPECT_EQ(NuvexGetPacketListStatistics(&list), 0);
    NuvexFreePackets(&list);
    EXPECT_EQ(NuvexSetPacketListBufferOptions(6000, 1), 75);

    EXPECT_EQ(NuvexStopEmulation(), 0);
    EXPECT_TRUE(status_becomes(0));
    EXPECT_EQ(NuvexGetPacketListStatistics(&list), 74);

    // Play while playing stops.
    ASSERT_EQ(NuvexPlayEmulation(&params), 0);
    EXPECT_EQ(NuvexPlayEmulation(&params), 0);
    EXPECT_TRUE(status_becomes(0));
    EXPECT_EQ(NuvexGetPacketListStatistics(&list), 74);
}

TEST_F(DaemonExportsTest, ResetAfterAKilledClient) {
    pid_t client = ::fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
        if (NuvexPlayEmulation(&params) != 0)
            ::_exit(1);
        if (!status_becomes(1))
            ::_exit(2);
        ::raise(SIGKILL);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(client, &status, 0), client);
    ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);

    uint32_t emulating = 0;
    ASSERT_EQ(NuvexGetStatus(&emulating), 0);
    EXPECT_EQ(emulating, 1u);
    EXPECT_EQ(NuvexPlayEmulation(&params), 86);
    EXPECT_EQ(NuvexForceDriverReset(), 0);
    EXPECT_TRUE(status_becomes(0));
    EXPECT_EQ(NuvexForceDriverReset(), 0);
    ASSERT_EQ(NuvexPlayEmulation(&params), 0);
    EXPECT_TRUE(status_becomes(1));
    EXPECT_EQ(NuvexStopEmulation(), 0);
}

TEST_F(DaemonExportsTest, NoDaemonNoDriver) {
    daemon.stop(SIGTERM);
    uint32_t emulating = 0;
    EXPECT_EQ(NuvexGetStatus(&emulating), -1);
    EXPECT_EQ(NuvexPlayEmulation(&params), 87);
    ::unsetenv("ALTIREN_REGISTRY_ROOT");
    ::setenv("ALTIREN_REGISTRY_ROOT", (dir / "nothing").string().c_str(), 1);
    EXPECT_EQ(NuvexIsDriverInstalled(), 0);
    EXPECT_EQ(NuvexPlayEmulation(&params), -1);
}
