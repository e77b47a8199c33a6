// The engine's clocks: microseconds of the monotonic clock, and the local time of day in
// milliseconds, read once at start-up and carried on by the monotonic clock (so a change
// of the wall clock while the daemon runs does not make it jump). While a batch of the
// engine's work runs, the clock may be held at the instant the batch began: its packets
// all see that instant, and the clock is read once a batch rather than several times a
// packet.
#pragma once

#include "quellin_rte/Seams.h"

#include <cstdint>
#include <ctime>

namespace quellin::os {

using rte::kMsPerDay;

// Microseconds of CLOCK_MONOTONIC.
uint64_t monotonic_us();

// Local milliseconds since midnight of a wall-clock instant (0 to 86,399,999).
uint32_t local_ms_of_day(const timespec& realtime);

class EngineClock final : public rte::Clock {
public:
    EngineClock(); // reads the wall clock and the monotonic clock once
    // For tests: the day time and monotonic instant taken as the start.
    EngineClock(uint32_t start_ms_of_day, uint64_t start_monotonic_us);

    uint64_t monotonic_us() override {
        if (!m_holding)
            return os::monotonic_us();
        if (m_held == 0)
            m_held = os::monotonic_us();
        return m_held;
    }
    // From the next reading on, gives that reading until release() (a batch that asks for
    // no time reads no clock).
    void hold() {
        m_holding = true;
        m_held = 0;
    }
    void release() { m_holding = false; }
    // The time of day read at start-up.
    uint32_t local_ms_since_midnight() override { return m_start_ms; }
    // The time of day now: the start-up value carried on by the monotonic clock.
    uint32_t ms_of_day() const { return ms_of_day_at(os::monotonic_us()); }
    uint32_t ms_of_day_at(uint64_t monotonic) const;

private:
    uint32_t m_start_ms;
    uint64_t m_start_us;
    bool m_holding = false;
    uint64_t m_held = 0; // the held reading; 0 until the first since hold()
};

} // namespace quellin::os
