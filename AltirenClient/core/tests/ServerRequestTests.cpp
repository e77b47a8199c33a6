// A window's request to the server runs on a thread of its own and answers on the GUI
// thread, only to a receiver that still lives and only when it was not cancelled.
#include "AltirenClient/ServerRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "server_request_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop until done() or the time passed.
template <typename Done>
bool Spin(Done done, int ms = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class ServerRequestTest : public ::testing::Test {
protected:
    void SetUp() override { App(); }
    void TearDown() override {
        EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(5)));
    }
};

TEST_F(ServerRequestTest, TheWorkRunsElsewhereAndItsAnswerComesOnTheGuiThread) {
    QObject receiver;
    const std::thread::id gui = std::this_thread::get_id();
    std::thread::id worker;
    std::thread::id answeredOn;
    int answer = 0;
    ServerRequest::Handle handle = ServerRequest::Run<int>(
        &receiver,
        [&worker](const std::atomic<bool>&) {
            worker = std::this_thread::get_id();
            return 42;
        },
        [&](int value) {
            answer = value;
            answeredOn = std::this_thread::get_id();
        });
    EXPECT_TRUE(handle.IsRunning());
    // Nothing is answered outside the event loop.
    EXPECT_EQ(answer, 0);
    ASSERT_TRUE(Spin([&] { return answer != 0; }));
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(answeredOn, gui);
    EXPECT_NE(worker, gui);
    EXPECT_FALSE(handle.IsRunning());
}

TEST_F(ServerRequestTest, ACancelledRequestOrAGoneReceiverIsNeverAnswered) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> sawCancel{false};
    QObject receiver;
    bool answered = false;
    ServerRequest::Handle handle = ServerRequest::Run<int>(
        &receiver,
        [released, &sawCancel](const std::atomic<bool>& cancelled) {
            released.wait();
            sawCancel = cancelled.load();
            return 1;
        },
        [&answered](int) { answered = true; });
    handle.Cancel();
    EXPECT_FALSE(handle.IsRunning());

    bool goneAnswered = false;
    auto gone = std::make_unique<QObject>();
    ServerRequest::Run<int>(
        gone.get(),
        [released](const std::atomic<bool>&) {
            released.wait();
            return 2;
        },
        [&goneAnswered](int) { goneAnswered = true; });
    gone.reset();

    release.set_value();
    ASSERT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(5)));
    Spin([] { return false; }, 200);
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(answered);
    EXPECT_FALSE(goneAnswered);
}

TEST_F(ServerRequestTest, WorkThatThrowsAnswersAsARequestThatFoundNothing) {
    QObject receiver;
    bool answered = false;
    std::string text = "unchanged";
    ServerRequest::Run<std::string>(
        &receiver, [](const std::atomic<bool>&) -> std::string { throw std::runtime_error("no"); },
        [&](std::string value) {
            answered = true;
            text = value;
        });
    ASSERT_TRUE(Spin([&] { return answered; }));
    EXPECT_EQ(text, "");
}

TEST_F(ServerRequestTest, TheCancelObserverAbandonsATransferOnceTheFlagIsSet) {
    std::atomic<bool> flag{false};
    ServerRequest::CancelObserver observer(&flag);
    EXPECT_TRUE(observer.ContinueRequest());
    flag = true;
    EXPECT_FALSE(observer.ContinueRequest());
    EXPECT_TRUE(ServerRequest::CancelObserver(nullptr).ContinueRequest());
}

} // namespace
