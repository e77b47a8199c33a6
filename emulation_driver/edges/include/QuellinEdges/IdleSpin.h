// How long a thread that serves a port keeps looking for work before it sleeps: waking a
// sleeping thread costs more than a frame, so a steady flow should find it awake.
#pragma once

#include <cstdint>
#include <ctime>

namespace quellin::edges {

class IdleSpin {
public:
    static constexpr uint64_t kSpinNs = 100'000;

    // Work was found: the spin starts again.
    void worked() {
        m_since = now_ns();
        m_rounds = 0;
    }
    // One round of looking found nothing: whether to look again rather than sleep.
    bool keep_spinning() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
        // The clock is read every 64 rounds only.
        if (++m_rounds % 64 != 0)
            return true;
        return now_ns() - m_since < kSpinNs;
    }

private:
    static uint64_t now_ns() {
        timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u +
               static_cast<uint64_t>(ts.tv_nsec);
    }

    uint64_t m_since = now_ns();
    uint64_t m_rounds = 0;
};

} // namespace quellin::edges
