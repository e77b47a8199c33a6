#include "QuellinLinux/Clocks.h"
#include "QuellinLinux/EventLoop.h"
#include "QuellinLinux/OneShotTimers.h"
#include "QuellinLinux/PeriodicTimer.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/prctl.h>

using namespace quellin::os;

namespace {

struct Recorder {
    std::string fired;
    uint64_t at_us = 0;
    OneShotTimers* timers = nullptr;
};

struct Tag {
    Recorder* r;
    char name;
};

void record(void* context) {
    auto* tag = static_cast<Tag*>(context);
    tag->r->fired += tag->name;
    tag->r->at_us = monotonic_us();
}

// Runs the loop until `done` or five seconds.
template <typename F>
void run_until(EventLoop& loop, F done) {
    const uint64_t limit = monotonic_us() + 5000000;
    while (!done() && monotonic_us() < limit)
        loop.run_once(50);
}

} // namespace

TEST(OneShotTimers, FireEarliestFirstAndCancelledOnesNever) {
    ASSERT_TRUE(set_fine_timer_slack());
    EXPECT_EQ(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);

    EventLoop loop;
    OneShotTimers timers(loop);
    Recorder r;
    Tag a{&r, 'a'}, b{&r, 'b'}, c{&r, 'c'}, d{&r, 'd'};
    const uint64_t start = monotonic_us();
    ASSERT_GE(timers.arm(60, record, &a), 0);
    ASSERT_GE(timers.arm(20, record, &b), 0);
    int hc = timers.arm(40, record, &c);
    ASSERT_GE(timers.arm(40, record, &d), 0);
    EXPECT_TRUE(timers.cancel(hc));
    EXPECT_FALSE(timers.cancel(hc));
    EXPECT_EQ(timers.armed(), 3u);
    run_until(loop, [&] { return r.fired.size() == 3; });
    EXPECT_EQ(r.fired, "bda");
    EXPECT_GE(r.at_us - start, 60000u); // never early
    EXPECT_EQ(timers.armed(), 0u);
}

TEST(OneShotTimers, HandlesOfFiredTimersDoNotReachReusedSlots) {
    EventLoop loop;
    OneShotTimers timers(loop);
    Recorder r;
    Tag a{&r, 'a'}, b{&r, 'b'};
    int first = timers.arm(0, record, &a);
    run_until(loop, [&] { return r.fired == "a"; });
    int second = timers.arm(10, record, &b); // takes the same slot
    EXPECT_NE(first, second);
    EXPECT_FALSE(timers.cancel(first));
    EXPECT_FALSE(timers.cancel(-1));
    run_until(loop, [&] { return r.fired == "ab"; });
    EXPECT_EQ(r.fired, "ab");
}

TEST(OneShotTimers, TableFullGivesMinusOneAndCallbacksMayArmAgain) {
    EventLoop loop;
    OneShotTimers timers(loop);
    Recorder r;
    Tag t{&r, 't'};
    for (size_t i = 0; i < OneShotTimers::kCapacity; ++i)
        ASSERT_GE(timers.arm(100000, record, &t), 0);
    EXPECT_EQ(timers.arm(1, record, &t), -1);

    EventLoop loop2;
    OneShotTimers chain(loop2);
    // Re-arming from inside a callback, including with 0 ms.
    struct Rearm {
        OneShotTimers* timers;
        int count = 0;
        static void fire(void* context) {
            auto* self = static_cast<Rearm*>(context);
            if (++self->count < 5)
                self->timers->arm(0, &Rearm::fire, self);
        }
    } rearm{&chain};
    ASSERT_GE(chain.arm(1, &Rearm::fire, &rearm), 0);
    run_until(loop2, [&] { return rearm.count == 5; });
    EXPECT_EQ(rearm.count, 5);
    EXPECT_EQ(chain.armed(), 0u);
}

TEST(OneShotTimers, ATimerIsDueFromTheReadingItsLengthWasMeasuredFrom) {
    // The engine's clock, held at the start of a batch: its work went on for a while before
    // it armed a timer for what is due a second after that instant.
    struct HeldClock : quellin::rte::Clock {
        uint64_t at = 0;
        uint64_t monotonic_us() override { return at; }
        uint32_t local_ms_since_midnight() override { return 0; }
    } held;
    const uint64_t start = monotonic_us();
    held.at = start - 1500000;
    EventLoop loop;
    OneShotTimers timers(loop, &held);
    Recorder r;
    Tag late{&r, 'l'}, ahead{&r, 'a'};
    ASSERT_GE(timers.arm(1000, record, &late), 0); // due half a second ago
    held.at = start;
    ASSERT_GE(timers.arm(30, record, &ahead), 0);
    run_until(loop, [&] { return r.fired.size() == 1; });
    EXPECT_EQ(r.fired, "l");
    EXPECT_LT(r.at_us - start, 20000u); // at once, not a second from the arming
    run_until(loop, [&] { return r.fired.size() == 2; });
    EXPECT_EQ(r.fired, "la");
    EXPECT_GE(r.at_us - start, 30000u);
}

TEST(PeriodicTimer, TicksUntilStoppedAndRestarts) {
    EventLoop loop;
    PeriodicTimer periodic(loop);
    int ticks = 0;
    auto tick = [](void* context) { ++*static_cast<int*>(context); };
    const uint64_t start = monotonic_us(); // before arming: the ticks count from the arm
    periodic.start(20, tick, &ticks);
    EXPECT_TRUE(periodic.running());
    EXPECT_EQ(periodic.period_ms(), 20u);
    run_until(loop, [&] { return ticks >= 5; });
    EXPECT_GE(ticks, 5);
    EXPECT_GE(monotonic_us() - start, 100000u); // five periods at least

    periodic.stop();
    EXPECT_FALSE(periodic.running());
    const int stopped_at = ticks;
    for (int i = 0; i < 4; ++i)
        loop.run_once(20);
    EXPECT_EQ(ticks, stopped_at);

    periodic.start(10, tick, &ticks);
    run_until(loop, [&] { return ticks > stopped_at; });
    EXPECT_GT(ticks, stopped_at);
    periodic.start(0, tick, &ticks);
    EXPECT_FALSE(periodic.running());
}
