#include "QuellinLinux/Clocks.h"

namespace quellin::os {

uint64_t monotonic_us() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint32_t local_ms_of_day(const timespec& realtime) {
    tm local{};
    time_t seconds = realtime.tv_sec;
    ::localtime_r(&seconds, &local);
    uint32_t second_of_day = static_cast<uint32_t>(local.tm_hour * 3600 + local.tm_min * 60 +
                                                   (local.tm_sec > 59 ? 59 : local.tm_sec));
    return second_of_day * 1000u + static_cast<uint32_t>(realtime.tv_nsec / 1000000);
}

EngineClock::EngineClock() {
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_start_ms = local_ms_of_day(now);
    m_start_us = os::monotonic_us();
}

EngineClock::EngineClock(uint32_t start_ms_of_day, uint64_t start_monotonic_us)
    : m_start_ms(start_ms_of_day % kMsPerDay), m_start_us(start_monotonic_us) {}

uint32_t EngineClock::ms_of_day_at(uint64_t monotonic) const {
    const uint64_t elapsed_ms = monotonic > m_start_us ? (monotonic - m_start_us) / 1000u : 0;
    return static_cast<uint32_t>((m_start_ms + elapsed_ms) % kMsPerDay);
}

} // namespace quellin::os
