// What the packet layer needs of its surroundings: a clock, a 15-bit random source,
// one-shot timers and a sink for frames that leave. The daemon gives Linux versions;
// TestSeams.h gives deterministic ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quellin::rte {

inline constexpr uint32_t kMsPerDay = 86400000;

class Clock {
public:
    virtual ~Clock() = default;
    // Microseconds of a monotonic clock.
    virtual uint64_t monotonic_us() = 0;
    // Local milliseconds since midnight (0 to 86,399,999). Read once, at start-up; the
    // packet layer carries it on with the monotonic clock.
    virtual uint32_t local_ms_since_midnight() = 0;
};

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // One draw from 0 to 0x7FFF.
    virtual uint16_t rand15() = 0;
};

using TimerCallback = void (*)(void* context);

// One-shot timers. At most a handful are armed at once (one per queue head and the
// periodic timer), so implementations keep a fixed table.
class TimerService {
public:
    virtual ~TimerService() = default;
    // Arms a timer that calls `callback(context)` once after `ms` milliseconds. Returns a
    // handle of 0 or more, or -1 when no timer can be armed.
    virtual int arm(uint32_t ms, TimerCallback callback, void* context) = 0;
    // Disarms a timer that has not fired yet; false when the handle is not armed.
    virtual bool cancel(int handle) = 0;
};

// Frames that leave the packet layer: direction 0 goes down to the adapter (the network),
// direction 1 up to the station. The frame is valid only during the call.
class TransmitSink {
public:
    virtual ~TransmitSink() = default;
    virtual void transmit(uint16_t adapterNumber, int direction, const uint8_t* frame,
                          size_t length) = 0;
};

// Seeded linear congruential source, the same sequence for the same seed.
class SeededRandom final : public RandomSource {
public:
    explicit SeededRandom(uint32_t seed = 1) : m_state(seed) {}
    uint16_t rand15() override {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<uint16_t>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

} // namespace quellin::rte
