#include "RteState.h"

#include <cassert>

namespace quellin {

using detail::state;

void rte_lock(int index) {
    auto& s = state();
    assert(index >= 0 && index < kRteLockCount);
    assert(!s.locks[index] && "lock taken twice");
    s.locks[index] = true;
}

void rte_unlock(int index) {
    auto& s = state();
    assert(index >= 0 && index < kRteLockCount);
    assert(s.locks[index] && "lock released but not held");
    s.locks[index] = false;
}

void rte_lock_by_dir(int /*kind*/, int queue) {
    auto& s = state();
    assert(queue >= 0 && queue < kRteQueueLockCount);
    assert(!s.queueLocks[queue] && "queue lock taken twice");
    s.queueLocks[queue] = true;
}

void rte_unlock_by_dir(int /*kind*/, int queue) {
    auto& s = state();
    assert(queue >= 0 && queue < kRteQueueLockCount);
    assert(s.queueLocks[queue] && "queue lock released but not held");
    s.queueLocks[queue] = false;
}

void rte_set_timer_callback(rte::TimerCallback callback) {
    state().timerCallback = callback;
}

int rte_schedule(uint32_t ms, void* context) {
    auto& s = state();
    if (!s.timerCallback)
        return -1;
    return s.seams.timers->arm(ms, s.timerCallback, context);
}

bool rte_cancel_timer(int handle) {
    if (handle < 0)
        return false;
    return state().seams.timers->cancel(handle);
}

uint64_t rte_gettime() {
    return state().seams.clock->monotonic_us();
}

uint32_t rte_gettimeofday() {
    auto& s = state();
    const uint64_t elapsedMs = (s.seams.clock->monotonic_us() - s.startUs) / 1000;
    return static_cast<uint32_t>((s.startTodMs + elapsedMs) % rte::kMsPerDay);
}

uint16_t rte_rand() {
    return state().seams.random->rand15() & 0x7FFF;
}

} // namespace quellin
