// One-shot timers of the engine thread on one timerfd (CLOCK_MONOTONIC, absolute), armed
// to the earliest deadline. A fixed table: the engine never has more than a few armed.
#pragma once

#include "ControlSocket/FdWatcher.h"
#include "quellin_rte/Seams.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quellin::os {

// Sets the calling thread's timer slack to 1 ns, so timers fire when they are due rather
// than up to 50 µs late. Call on the engine thread. false when the kernel refuses.
bool set_fine_timer_slack();

class OneShotTimers final : public rte::TimerService {
public:
    using Callback = rte::TimerCallback;
    static constexpr size_t kCapacity = 16;

    // Watches its timerfd through the watcher; throws std::system_error when the timerfd
    // cannot be made. A timer armed for `ms` is due `ms` after `clock`'s reading (the clock
    // its user measured `ms` with: while a batch holds the engine's clock, a timer armed
    // late in the batch is not later by the batch's own work); without one, after now.
    explicit OneShotTimers(ctlsock::FdWatcher& watcher, rte::Clock* clock = nullptr);
    ~OneShotTimers() override;
    OneShotTimers(const OneShotTimers&) = delete;
    OneShotTimers& operator=(const OneShotTimers&) = delete;

    // Calls callback(context) once, ms milliseconds from now. Gives a handle of 0 or more,
    // or -1 when the table is full. Handles of fired or cancelled timers are never valid
    // again (a slot that is reused gets a new handle).
    int arm(uint32_t ms, Callback callback, void* context) override;
    // Disarms a timer that has not fired; false when the handle is not armed.
    bool cancel(int handle) override;

    size_t armed() const;
    int fd() const { return m_fd; }
    // Fires what is due, earliest first; the watcher calls it when the timerfd is readable.
    size_t fire_due();

private:
    struct Slot {
        bool armed = false;
        uint32_t generation = 0;
        uint64_t deadline_us = 0;
        uint64_t order = 0;
        Callback callback = nullptr;
        void* context = nullptr;
    };
    void rearm();
    int handle_of(size_t index) const;
    Slot* slot_of(int handle);

    ctlsock::FdWatcher& m_watcher;
    rte::Clock* m_clock;
    int m_fd = -1;
    uint64_t m_order = 0;
    uint64_t m_armed_deadline = 0; // what the timerfd is set to; 0 when disarmed
    std::array<Slot, kCapacity> m_slots{};
};

} // namespace quellin::os
