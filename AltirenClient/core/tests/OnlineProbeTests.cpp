// The on-line probe against the management-server stand-in on the loopback: a server that
// answers, one that holds the probe unanswered, none at all; forced probes abandoning the
// one under way; the timer's probe on a thread of its own.
#include "AltirenClient/OnlineProbe.h"

#include "ProxyTestFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class OnlineProbe : public ProxyTest {
protected:
    void SetUp() override {
        ProxyTest::SetUp();
        CSTrace::instance()->SetCurrentErrorLevel(CSTrace::eInformation);
    }
    void TearDown() override {
        if (server)
            server->ReleaseHeld();
        EXPECT_TRUE(COnlineProbe::WaitForOutstandingProbes(10s));
        ProxyTest::TearDown();
    }

    void HoldProbes(bool hold) {
        mgmt::Behaviour behaviour;
        behaviour.silentProbe = hold;
        server->SetBehaviour(behaviour);
    }

    // A loopback port that nothing listens on.
    static int ClosedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t length = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
        ::close(fd);
        return ntohs(addr.sin_port);
    }

    // Until the probe thread of a probe under way has started.
    static bool ProbeStarted() {
        for (int i = 0; i < 500; ++i) {
            if (COnlineProbe::OutstandingProbes() > 0)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

TEST_F(OnlineProbe, AnAnsweringServerIsOnline) {
    ClientState::SetServerOnline(false);
    COnlineProbe::SetIsServerOnline(true);
    EXPECT_TRUE(ClientState::IsServerOnline());
    COnlineProbe::SetIsServerOnline(false);
    EXPECT_TRUE(ClientState::IsServerOnline());
}

TEST_F(OnlineProbe, ASilentServerIsOfflineAfterTheCommunicationTimeout) {
    SetTimeout(300);
    HoldProbes(true);
    ClientState::SetServerOnline(true);
    const auto start = std::chrono::steady_clock::now();
    COnlineProbe::SetIsServerOnline(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s); // bounded, never the server's
    EXPECT_FALSE(ClientState::IsServerOnline());
    // The probe thread ends by its own request's time-out, not by being killed.
    EXPECT_TRUE(COnlineProbe::WaitForOutstandingProbes(10s));
}

TEST_F(OnlineProbe, NoServerListeningOrNoAddressIsOffline) {
    SetString("AltirenServerIP", "127.0.0.1:" + std::to_string(ClosedPort()));
    ClientState::SetServerOnline(true);
    COnlineProbe::SetIsServerOnline(true);
    EXPECT_FALSE(ClientState::IsServerOnline());

    platform::registry::Registry registry;
    registry.deleteValue(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey,
                         "AltirenServerIP");
    ClientState::SetServerOnline(true);
    COnlineProbe::SetIsServerOnline(false);
    EXPECT_FALSE(ClientState::IsServerOnline());
    EXPECT_NE(TraceText().find("Failed to get server IP"), std::string::npos);
}

TEST_F(OnlineProbe, AForcedProbeAbandonsTheOneUnderWayAndItsLateResultIsIgnored) {
    SetTimeout(1500);
    HoldProbes(true);
    ClientState::SetServerOnline(false);
    std::atomic<bool> firstReturned{false};
    std::thread first([&] {
        COnlineProbe::SetIsServerOnline(false);
        firstReturned = true;
    });
    ASSERT_TRUE(ProbeStarted());

    // The server answers again; a forced probe decides at once.
    HoldProbes(false);
    COnlineProbe::SetIsServerOnline(true);
    EXPECT_TRUE(ClientState::IsServerOnline());
    first.join(); // its waiter gave up when the forced probe began
    EXPECT_TRUE(firstReturned);

    // The first probe's request ends off-line at its time-out: ignored.
    EXPECT_TRUE(COnlineProbe::WaitForOutstandingProbes(10s));
    EXPECT_TRUE(ClientState::IsServerOnline());

    // The forced probe has finished: the next probe is not taken as busy.
    SetString("AltirenServerIP", "127.0.0.1:" + std::to_string(ClosedPort()));
    COnlineProbe::SetIsServerOnline(false);
    EXPECT_FALSE(ClientState::IsServerOnline());
}

TEST_F(OnlineProbe, AProbeThatIsNotForcedDoesNothingWhileOneIsBusy) {
    SetTimeout(5000);
    HoldProbes(true);
    ClientState::SetServerOnline(false);
    std::atomic<bool> firstReturned{false};
    std::thread first([&] {
        COnlineProbe::SetIsServerOnline(false);
        firstReturned = true;
    });
    ASSERT_TRUE(ProbeStarted());
    COnlineProbe::SetIsServerOnline(false); // returns at once
    EXPECT_FALSE(firstReturned);
    // Released, the held probe is answered (with 503: any status is on-line). Its request
    // may not have reached the server yet: release until it has been answered.
    for (int i = 0; i < 500 && !firstReturned; ++i) {
        server->ReleaseHeld();
        std::this_thread::sleep_for(10ms);
    }
    first.join();
    EXPECT_TRUE(ClientState::IsServerOnline());
}

TEST_F(OnlineProbe, TheTimerProbesOnAThreadOfItsOwnOnlyWhileOffline) {
    ClientState::SetServerOnline(true);
    COnlineProbe::IsServerOnlineTimerHandler();
    EXPECT_EQ(COnlineProbe::OutstandingProbes(), 0u);
    EXPECT_NE(TraceText().find("Server is online --> no need to check online/offline state"),
              std::string::npos);

    ClientState::SetServerOnline(false);
    COnlineProbe::IsServerOnlineTimerHandler();
    ASSERT_TRUE(COnlineProbe::WaitForOutstandingProbes(10s));
    EXPECT_TRUE(ClientState::IsServerOnline());
}

} // namespace
