// Deterministic seams for tests and benchmarks: a virtual microsecond clock, scripted
// random draws, timers fired by hand and a sink that keeps every frame.
#pragma once

#include "quellin_rte/Seams.h"

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

namespace quellin::rte::test {

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint64_t startUs = 1000000, uint32_t msSinceMidnight = 36000000)
        : m_nowUs(startUs), m_midnightMs(msSinceMidnight) {}
    uint64_t monotonic_us() override { return m_nowUs; }
    uint32_t local_ms_since_midnight() override { return m_midnightMs; }

    void set(uint64_t us) { m_nowUs = us; }
    void advance(uint64_t us) { m_nowUs += us; }
    uint64_t now() const { return m_nowUs; }

private:
    uint64_t m_nowUs;
    uint32_t m_midnightMs;
};

// Hands out the scripted draws in order; once they run out, the fallback value (counted
// as an underrun, so a test can tell it asked for more draws than it meant to).
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(uint16_t fallback = 0) : m_fallback(fallback) {}
    uint16_t rand15() override;

    void push(uint16_t draw) { m_draws.push_back(draw & 0x7FFF); }
    void push(std::initializer_list<uint16_t> draws) {
        for (auto d : draws)
            push(d);
    }
    void set_fallback(uint16_t value) { m_fallback = value & 0x7FFF; }
    size_t remaining() const { return m_draws.size(); }
    size_t drawn() const { return m_drawn; }
    size_t underruns() const { return m_underruns; }

private:
    std::deque<uint16_t> m_draws;
    uint16_t m_fallback;
    size_t m_drawn = 0;
    size_t m_underruns = 0;
};

// Timers with deadlines on a VirtualClock; nothing fires until the test says so.
class ManualTimers final : public TimerService {
public:
    explicit ManualTimers(VirtualClock& clock, size_t capacity = 16);
    int arm(uint32_t ms, TimerCallback callback, void* context) override;
    bool cancel(int handle) override;

    // Fires every timer whose deadline has come, earliest first (timers armed by a
    // callback fire too when they are already due). Returns how many fired.
    size_t fire_due();
    // Moves the clock forward to `us`, stopping at each deadline on the way to fire it.
    size_t run_until(uint64_t us);
    // Runs the clock to the next deadline and fires what is due there; false when none.
    bool fire_next();

    size_t armed() const;
    // Deadline (µs) of the earliest armed timer; UINT64_MAX when none.
    uint64_t next_deadline() const;
    // Milliseconds asked for by every arm() so far, in order.
    const std::vector<uint32_t>& armed_ms() const { return m_armedMs; }
    // Makes the next `count` arm() calls fail.
    void fail_next(size_t count) { m_failNext = count; }

private:
    struct Slot {
        bool armed = false;
        uint64_t deadline = 0;
        uint64_t order = 0;
        TimerCallback callback = nullptr;
        void* context = nullptr;
    };
    int earliest_due(uint64_t limit) const;

    VirtualClock& m_clock;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_armedMs;
    uint64_t m_order = 0;
    size_t m_failNext = 0;
};

struct CapturedFrame {
    uint16_t adapterNumber = 0;
    int direction = 0;
    uint64_t timeUs = 0;
    std::vector<uint8_t> bytes;
};

class CaptureSink final : public TransmitSink {
public:
    explicit CaptureSink(Clock* clock = nullptr) : m_clock(clock) {}
    void transmit(uint16_t adapterNumber, int direction, const uint8_t* frame,
                  size_t length) override;

    const std::vector<CapturedFrame>& frames() const { return m_frames; }
    size_t count() const { return m_frames.size(); }
    size_t count(int direction) const;
    void clear() { m_frames.clear(); }

private:
    Clock* m_clock;
    std::vector<CapturedFrame> m_frames;
};

} // namespace quellin::rte::test
