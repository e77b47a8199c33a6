// The packet layer's timers and clocks on the Linux runtime.
#include "QuellinLinux/Clocks.h"
#include "QuellinLinux/EventLoop.h"
#include "QuellinLinux/OneShotTimers.h"
#include "quellin_rte/PacketLayer.h"
#include "quellin_rte/TestSeams.h"

#include <gtest/gtest.h>
#include <vector>

using namespace quellin;

namespace {
std::vector<intptr_t> g_fired;
void on_timer(void* context) {
    g_fired.push_back(reinterpret_cast<intptr_t>(context));
}
} // namespace

TEST(LinuxRteSeams, ScheduledTimersFireOnTheLoopAndClocksAdvance) {
    os::EventLoop loop;
    os::OneShotTimers timers(loop);
    os::EngineClock clock;
    rte::SeededRandom random(7);
    rte::test::CaptureSink sink;
    RteSeams seams{&clock, &random, &timers, &sink};
    ASSERT_TRUE(rte_init(RteConfig{}, seams));
    rte_set_timer_callback(on_timer);

    g_fired.clear();
    const uint64_t start = rte_gettime();
    const uint32_t tod = rte_gettimeofday();
    // Carried on from the start-up reading: a few ms later at most.
    EXPECT_LT((tod + os::kMsPerDay - clock.local_ms_since_midnight()) % os::kMsPerDay, 1000u);
    ASSERT_GE(rte_schedule(30, reinterpret_cast<void*>(2)), 0);
    int cancelled = rte_schedule(5, reinterpret_cast<void*>(9));
    ASSERT_GE(rte_schedule(10, reinterpret_cast<void*>(1)), 0);
    EXPECT_TRUE(rte_cancel_timer(cancelled));
    while (g_fired.size() < 2 && rte_gettime() - start < 5000000)
        loop.run_once(50);
    EXPECT_EQ(g_fired, (std::vector<intptr_t>{1, 2}));
    EXPECT_GE(rte_gettime() - start, 30000u);
    EXPECT_LE(rte_rand(), 0x7FFF);
    rte_shutdown();
}
