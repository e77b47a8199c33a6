#include "quellin_rte/TestSeams.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quellin::rte;
using namespace quellin::rte::test;

namespace {
struct Log {
    VirtualClock* clock;
    std::vector<std::pair<int, uint64_t>> fired;
};
Log* g_log = nullptr;
void record(void* ctx) {
    g_log->fired.emplace_back(static_cast<int>(reinterpret_cast<intptr_t>(ctx)),
                              g_log->clock->now());
}
} // namespace

TEST(ManualTimers, FireInDeadlineOrderAndMoveTheClock) {
    VirtualClock clock(1000);
    ManualTimers timers(clock, 4);
    Log log{&clock, {}};
    g_log = &log;
    timers.arm(5, record, reinterpret_cast<void*>(1));
    const int h = timers.arm(2, record, reinterpret_cast<void*>(2));
    timers.arm(2, record, reinterpret_cast<void*>(3));
    EXPECT_EQ(timers.next_deadline(), 3000u);
    EXPECT_TRUE(timers.cancel(h));
    EXPECT_FALSE(timers.cancel(h));
    EXPECT_EQ(timers.fire_due(), 0u);

    EXPECT_EQ(timers.run_until(10000), 2u);
    ASSERT_EQ(log.fired.size(), 2u);
    EXPECT_EQ(log.fired[0], std::make_pair(3, uint64_t{3000}));
    EXPECT_EQ(log.fired[1], std::make_pair(1, uint64_t{6000}));
    EXPECT_EQ(clock.now(), 10000u);
    EXPECT_EQ(timers.armed(), 0u);
}

TEST(ManualTimers, FixedTableAndScriptedFailures) {
    VirtualClock clock;
    ManualTimers timers(clock, 2);
    Log log{&clock, {}};
    g_log = &log;
    EXPECT_GE(timers.arm(1, record, nullptr), 0);
    EXPECT_GE(timers.arm(1, record, nullptr), 0);
    EXPECT_EQ(timers.arm(1, record, nullptr), -1);
    timers.fire_next();
    timers.fail_next(1);
    EXPECT_EQ(timers.arm(1, record, nullptr), -1);
    EXPECT_GE(timers.arm(1, record, nullptr), 0);
    EXPECT_EQ(timers.armed_ms().size(), 5u);
}

TEST(ScriptedRandom, HandsOutDrawsThenCountsUnderruns) {
    ScriptedRandom r(7);
    r.push({1, 0xFFFF});
    EXPECT_EQ(r.rand15(), 1);
    EXPECT_EQ(r.rand15(), 0x7FFF);
    EXPECT_EQ(r.underruns(), 0u);
    EXPECT_EQ(r.rand15(), 7);
    EXPECT_EQ(r.underruns(), 1u);

    SeededRandom a(42), b(42);
    for (int i = 0; i < 100; ++i) {
        const auto x = a.rand15();
        EXPECT_EQ(x, b.rand15());
        EXPECT_LE(x, 0x7FFF);
    }
}
