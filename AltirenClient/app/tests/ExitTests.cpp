// The exit waits for the server requests still out on their threads before the trace log
// and the HTTP library go.
#include "AppFakes.h"
#include "ProxyTestFixture.h"

#include "AltirenUiTest/GuiTest.h"

#include <thread>

using namespace appfakes;

namespace {

TEST_F(ProxyTest, ExitWaitsForARequestStillOutOnItsThread) {
    guitest::App();
    // A request of another window is under way, its answer late, when the exit begins.
    mgmt::Behaviour late;
    late.delayMs = 400;
    server->SetBehaviour(late);
    SetTimeout(2000);
    std::thread window([] {
        CAltirenProxy proxy;
        std::string reply;
        proxy.GetAltirenResponse(reply, CLIENT_STOP);
    });
    for (int i = 0; i < 500 && CAltirenProxy::LiveRequestCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GT(CAltirenProxy::LiveRequestCount(), 0u);

    FakeWindows windows;
    AppServices services;
    services.windows = &windows;
    CAltirenClientApp app(services, {});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app.ExitInstance(0), 0);
    EXPECT_EQ(CAltirenProxy::LiveRequestCount(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(CAltirenClientApp::kRequestWaitAtExitMs + 2000));
    EXPECT_EQ(windows.destroys, 1);
    window.join();
}

TEST_F(ProxyTest, ExitDoesNotWaitLongerThanItsBound) {
    guitest::App();
    mgmt::Behaviour silent;
    silent.silent = true;
    server->SetBehaviour(silent);
    SetTimeout(10000);
    std::thread request([] {
        CAltirenProxy proxy;
        std::string reply;
        proxy.GetAltirenResponse(reply, CLIENT_STOP);
    });
    for (int i = 0; i < 500 && CAltirenProxy::LiveRequestCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));

    FakeWindows windows;
    AppServices services;
    services.windows = &windows;
    CAltirenClientApp app(services, {});
    const auto start = std::chrono::steady_clock::now();
    app.ExitInstance(0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::milliseconds(CAltirenClientApp::kRequestWaitAtExitMs + 3000));
    EXPECT_GT(CAltirenProxy::LiveRequestCount(), 0u); // given up on, not killed
    server->ReleaseHeld();
    request.join();
    EXPECT_TRUE(WaitForRequestsToEnd());
}

} // namespace
