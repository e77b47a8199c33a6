#include "Morrane/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct Count {
    std::atomic<int> calls{0};
};

void tick(void* argument) {
    ++static_cast<Count*>(argument)->calls;
}

void wait_until(const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i)
        std::this_thread::sleep_for(5ms);
}

TEST(Timer, PeriodicCountsOverAPeriodAndStopsWhenKilled) {
    Count count;
    CTimer* timer = CTimer::addTimer(&tick, &count, 20, false);
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->get_state(), CTimer::eReady);
    std::this_thread::sleep_for(1000ms);
    timer->killTimer();
    int calls = count.calls;
    EXPECT_GE(calls, 25); // 50 expected
    EXPECT_LE(calls, 60);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(count.calls, calls);
}

TEST(Timer, OneShotFiresOnceAndCanBeKilledAfterwards) {
    Count count;
    CTimer* timer = CTimer::addTimer(&tick, &count, 10, true);
    ASSERT_NE(timer, nullptr);
    wait_until([&] { return count.calls > 0; });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(count.calls, 1);
    timer->killTimer();
}

TEST(Timer, KilledOneShotNeverFires) {
    Count count;
    CTimer* timer = CTimer::addTimer(&tick, &count, 100, true);
    ASSERT_NE(timer, nullptr);
    timer->killTimer(); // the pending event must not reach the freed timer
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(count.calls, 0);
}

struct SelfKill {
    std::atomic<CTimer*> timer{nullptr};
    std::atomic<bool> ready{false};
    std::atomic<int> calls{0};
    std::atomic<bool> done{false}; // the last touch of this record by the callback
};

void kill_self(void* argument) {
    auto* s = static_cast<SelfKill*>(argument);
    if (!s->ready)
        return;
    ++s->calls;
    s->timer.load()->killTimer();
    s->done = true;
}

TEST(Timer, KillFromInsideTheCallbackFreesThePeriodicTimer) {
    SelfKill s;
    s.timer = CTimer::addTimer(&kill_self, &s, 5, false);
    ASSERT_NE(s.timer, nullptr);
    s.ready = true;
    wait_until([&] { return s.done.load(); });
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(s.done);
    EXPECT_EQ(s.calls, 1); // LeakSanitizer reports a timer that was not freed
}

TEST(Timer, KillFromInsideTheCallbackFreesTheOneShotTimer) {
    SelfKill s;
    s.timer = CTimer::addTimer(&kill_self, &s, 50, true);
    ASSERT_NE(s.timer, nullptr);
    s.ready = true;
    wait_until([&] { return s.done.load(); });
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(s.done);
    EXPECT_EQ(s.calls, 1);
}

TEST(Timer, StartingARunningTimerAgainAddsNoSecondSystemTimer) {
    Count count;
    CTimer* timer = CTimer::addTimer(&tick, &count, 10, false);
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->start());
    timer->killTimer();
    int calls = count.calls;
    // A second system timer would fire on the freed timer (ASan) and count on.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(count.calls, calls);
}

TEST(Timer, RefusesAZeroInterval) {
    Count count;
    EXPECT_EQ(CTimer::addTimer(&tick, &count, 0, false), nullptr);
}

TEST(Timer, SelfTestPasses) {
    testing::internal::CaptureStderr();
    bool ok = CTimer::test();
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok) << out;
    EXPECT_NE(out.find("creating a timer ... OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("starting timer pereodic... OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("stopping timer one-shot... OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("destroying timer ... OK\n"), std::string::npos) << out;
}

} // namespace
