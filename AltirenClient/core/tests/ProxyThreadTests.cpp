#include "ProxyTestFixture.h"

#include <atomic>
#include <vector>

// A reply slower than the time-out gives the offline answer; the communication
// thread ends on its own and frees its context.
TEST_F(ProxyTest, ALateReplyGivesTheOfflineAnswerAndTheThreadEndsCleanly) {
    SetTimeout(300);
    server->EditStore([](mgmt::AccountStore& s) { s.SetUpgradePriority("CRITICAL"); });
    mgmt::Behaviour behaviour;
    behaviour.delayMs = 30000;
    server->SetBehaviour(behaviour);

    CAltirenProxy proxy;
    std::string reply;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_UPGRADE), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(reply, "NOT");
    EXPECT_FALSE(ClientState::IsServerOnline());
    server->ReleaseHeld();
    EXPECT_TRUE(WaitForRequestsToEnd());

    // A silent server: the same, and the client stays offline afterwards.
    ClientState::SetServerOnline(true);
    behaviour = {};
    behaviour.silent = true;
    server->SetBehaviour(behaviour);
    ASSERT_EQ(proxy.GetAltirenResponse(reply, GET_PRESET_VALUES), 1);
    EXPECT_STREQ(reply.c_str(), CAltirenProxy::kBuiltInPresets);
    EXPECT_FALSE(ClientState::IsServerOnline());
    server->ReleaseHeld();
    EXPECT_TRUE(WaitForRequestsToEnd());
}

// Proxies on several threads share the process-wide request lock; every request
// gets its own answer and every context is freed.
TEST_F(ProxyTest, ConcurrentProxiesAreSerialisedAndEachGetsItsAnswer) {
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            CAltirenProxy proxy;
            for (int i = 0; i < 3; ++i) {
                std::string reply;
                if (proxy.GetAltirenResponse(reply, CLIENT_KEEP_ALIVE) == 1 && reply == "OK")
                    ++ok;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 12);
    EXPECT_EQ(server->RequestCount(), 12u);
    EXPECT_TRUE(ClientState::IsServerOnline());
    EXPECT_TRUE(WaitForRequestsToEnd());
}

// A time-out shorter than the thread's start-up: the caller gives up while the
// thread may not have run yet. Nothing is freed under the thread, and the caller
// does not read the failure the thread writes later.
TEST_F(ProxyTest, AZeroTimeOutNeverFreesTheContextUnderItsThread) {
    SetTimeout(0);
    mgmt::Behaviour failing;
    failing.status500 = true;
    for (int i = 0; i < 6; ++i) {
        server->SetBehaviour(i % 2 ? failing : mgmt::Behaviour());
        ClientState::SetServerOnline(true);
        CAltirenProxy proxy;
        std::string reply;
        ASSERT_EQ(proxy.GetAltirenResponse(reply, CLIENT_INSTALL), 1);
        if (i % 2)
            EXPECT_EQ(reply, "NOK");
        else
            EXPECT_TRUE(reply == "OK" || reply == "NOK") << reply; // on time or offline
    }
    EXPECT_TRUE(WaitForRequestsToEnd());
}
