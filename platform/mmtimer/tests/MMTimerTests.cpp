#include "platform/MMTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mm = platform::mmtimer;

namespace {

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<bool> onDispatcher{true};
};

void count(unsigned, void* user) {
    auto* c = static_cast<Counter*>(user);
    if (!mm::isDispatcherThread())
        c->onDispatcher = false;
    ++c->calls;
}

TEST(MMTimer, PeriodicCountsOverAPeriod) {
    Counter c;
    unsigned id = mm::setEvent(20, 0, count, &c, true);
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(mm::killEvent(id));
    int calls = c.calls;
    // 50 expected; generous bounds for a loaded machine.
    EXPECT_GE(calls, 25);
    EXPECT_LE(calls, 60);
    EXPECT_TRUE(c.onDispatcher);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(c.calls, calls) << "callback ran after killEvent returned";
}

TEST(MMTimer, OneShotFiresOnceAndThenCountsAsEnded) {
    Counter c;
    unsigned id = mm::setEvent(10, 0, count, &c, false);
    ASSERT_NE(id, 0u);
    for (int i = 0; i < 200 && c.calls == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(c.calls, 1);
    EXPECT_FALSE(mm::killEvent(id));
}

TEST(MMTimer, KillBeforeExpiryCancels) {
    Counter c;
    unsigned id = mm::setEvent(200, 0, count, &c, false);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(mm::killEvent(id));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(c.calls, 0);
}

struct SelfKill {
    std::atomic<unsigned> id{0};
    std::atomic<int> calls{0};
    std::atomic<bool> killed{false};
};

void kill_self(unsigned id, void* user) {
    auto* s = static_cast<SelfKill*>(user);
    ++s->calls;
    s->killed = mm::killEvent(id);
}

TEST(MMTimer, KillFromInsideTheCallback) {
    SelfKill s;
    s.id = mm::setEvent(5, 0, kill_self, &s, true);
    ASSERT_NE(s.id, 0u);
    for (int i = 0; i < 200 && !s.killed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(s.killed);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(s.calls, 1);
}

struct Slow {
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
};

void slow(unsigned, void* user) {
    auto* s = static_cast<Slow*>(user);
    s->inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s->finished = true;
}

TEST(MMTimer, KillWaitsForARunningCallback) {
    Slow s;
    unsigned id = mm::setEvent(5, 0, slow, &s, true);
    ASSERT_NE(id, 0u);
    while (!s.inside)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(mm::killEvent(id));
    EXPECT_TRUE(s.finished);
}

TEST(MMTimer, RefusesBadArguments) {
    Counter c;
    EXPECT_EQ(mm::setEvent(0, 0, count, &c, true), 0u);
    EXPECT_EQ(mm::setEvent(10, 0, nullptr, &c, true), 0u);
    EXPECT_FALSE(mm::killEvent(0));
    mm::TimerCaps caps{};
    EXPECT_TRUE(mm::getDevCaps(caps));
    EXPECT_TRUE(mm::beginPeriod(caps.periodMin));
    EXPECT_TRUE(mm::endPeriod(caps.periodMin));
    EXPECT_FALSE(mm::beginPeriod(0));
}

} // namespace
