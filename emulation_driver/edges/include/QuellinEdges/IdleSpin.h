// How long a thread that serves a port keeps looking for work before it sleeps: waking a
// sleeping thread costs more than a frame, so a steady flow should find it awake. A thread
// woken again soon after it went to sleep looks for longer the next time (up to
// kLongestSpinNs), so that work coming in bursts (what the delay queues release each
// millisecond) finds it awake too; after a long sleep it is back to kSpinNs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <sched.h>

namespace quellin::edges {

class IdleSpin {
public:
    static constexpr uint64_t kSpinNs = 100'000;
    static constexpr uint64_t kLongestSpinNs = 2'000'000;

    explicit IdleSpin(uint64_t spinNs = kSpinNs) : m_spinNs(spinNs) {}

    // The time to look for work after a sleep of `sleptNs`, having looked for `spinNs`.
    static uint64_t next_spin(uint64_t spinNs, uint64_t sleptNs) {
        if (sleptNs >= kLongestSpinNs)
            return kSpinNs;
        return std::min(kLongestSpinNs, std::max(spinNs, 2 * sleptNs));
    }

    // Work was found: the spin starts again.
    void worked() {
        m_since = now_ns();
        m_rounds = 0;
    }
    // One round of looking found nothing: whether to look again rather than sleep.
    // Each round gives the processor to any other thread ready to run on it: where the
    // threads that look for work outnumber the processors, one that spins would hold back
    // one that has work (a sender with a backlog, the station's own programs).
    bool keep_spinning() {
        ::sched_yield();
        // The clock is read every 16 rounds only.
        if (++m_rounds % 16 != 0)
            return true;
        return now_ns() - m_since < m_spinNs;
    }
    // Around a sleep: the next spin follows its length.
    void sleeping() { m_sleptAt = now_ns(); }
    void woke() {
        worked();
        m_spinNs = next_spin(m_spinNs, m_since - m_sleptAt);
    }
    uint64_t spin_ns() const { return m_spinNs; }

private:
    static uint64_t now_ns() {
        timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u +
               static_cast<uint64_t>(ts.tv_nsec);
    }

    uint64_t m_since = now_ns();
    uint64_t m_rounds = 0;
    uint64_t m_spinNs;
    uint64_t m_sleptAt = 0;
};

} // namespace quellin::edges
