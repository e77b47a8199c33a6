#include "QuellinLinux/Clocks.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace quellin::os;

namespace {
void set_zone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
}
} // namespace

TEST(EngineClocks, TimeOfDayIsLocalMillisecondsSinceMidnight) {
    set_zone("UTC0");
    timespec t{};
    t.tv_sec = 3 * 86400 + 3600 + 61; // 01:01:01 UTC
    t.tv_nsec = 500999999;
    EXPECT_EQ(local_ms_of_day(t), 3661500u);
    set_zone("XYZ-2"); // two hours east
    EXPECT_EQ(local_ms_of_day(t), 3661500u + 7200000u);
    t.tv_sec = 3 * 86400 + 22 * 3600; // 22:00 UTC is midnight there
    t.tv_nsec = 0;
    EXPECT_EQ(local_ms_of_day(t), 0u);
}

TEST(EngineClocks, TimeOfDayCarriesOnFromStartUpAndWrapsAtMidnight) {
    EngineClock clock(86399000u, 5000000u);
    EXPECT_EQ(clock.local_ms_since_midnight(), 86399000u);
    EXPECT_EQ(clock.ms_of_day_at(5000000u), 86399000u);
    EXPECT_EQ(clock.ms_of_day_at(5999999u), 86399999u);
    EXPECT_EQ(clock.ms_of_day_at(7000000u), 1000u);
    EXPECT_EQ(clock.ms_of_day_at(4000000u), 86399000u); // never runs backwards past start

    EngineClock live;
    uint64_t a = live.monotonic_us();
    uint64_t b = live.monotonic_us();
    EXPECT_LE(a, b);
    EXPECT_LT(live.ms_of_day(), kMsPerDay);
}

TEST(EngineClocks, AHeldClockGivesOneReadingUntilReleased) {
    EngineClock clock;
    clock.hold();
    const uint64_t held = clock.monotonic_us();
    const uint64_t later = monotonic_us() + 2000;
    while (monotonic_us() < later) {
    }
    EXPECT_EQ(clock.monotonic_us(), held);
    clock.release();
    EXPECT_GE(clock.monotonic_us(), later);
    clock.hold(); // a new hold reads the clock again
    EXPECT_GE(clock.monotonic_us(), later);
}
