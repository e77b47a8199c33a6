#include "QuellinLinux/OneShotTimers.h"

#include "QuellinLinux/Clocks.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::os {

namespace {

constexpr int kSlotBits = 4; // kCapacity == 16
static_assert((1u << kSlotBits) == OneShotTimers::kCapacity);
constexpr uint32_t kGenerationMask = 0x3FFFFFF; // keeps handles positive

itimerspec absolute(uint64_t deadline_us) {
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(deadline_us / 1000000u);
    spec.it_value.tv_nsec = static_cast<long>((deadline_us % 1000000u) * 1000u);
    return spec;
}

} // namespace

bool set_fine_timer_slack() {
    return ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
}

OneShotTimers::OneShotTimers(ctlsock::FdWatcher& watcher, rte::Clock* clock)
    : m_watcher(watcher), m_clock(clock) {
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "timerfd_create");
    if (!m_watcher.watch(m_fd, EPOLLIN, [this](uint32_t) { fire_due(); })) {
        ::close(m_fd);
        throw std::system_error(EINVAL, std::generic_category(), "cannot watch the timerfd");
    }
}

OneShotTimers::~OneShotTimers() {
    m_watcher.unwatch(m_fd);
    ::close(m_fd);
}

int OneShotTimers::handle_of(size_t index) const {
    return static_cast<int>((m_slots[index].generation << kSlotBits) | index);
}

OneShotTimers::Slot* OneShotTimers::slot_of(int handle) {
    if (handle < 0)
        return nullptr;
    Slot& slot = m_slots[static_cast<size_t>(handle) & (kCapacity - 1)];
    if (!slot.armed || slot.generation != (static_cast<uint32_t>(handle) >> kSlotBits))
        return nullptr;
    return &slot;
}

int OneShotTimers::arm(uint32_t ms, Callback callback, void* context) {
    if (!callback)
        return -1;
    for (size_t i = 0; i < kCapacity; ++i) {
        Slot& slot = m_slots[i];
        if (slot.armed)
            continue;
        slot.armed = true;
        slot.generation = (slot.generation + 1) & kGenerationMask;
        const uint64_t from = m_clock ? m_clock->monotonic_us() : monotonic_us();
        slot.deadline_us = from + static_cast<uint64_t>(ms) * 1000u;
        slot.order = m_order++;
        slot.callback = callback;
        slot.context = context;
        rearm();
        return handle_of(i);
    }
    return -1;
}

bool OneShotTimers::cancel(int handle) {
    Slot* slot = slot_of(handle);
    if (!slot)
        return false;
    slot->armed = false;
    rearm();
    return true;
}

size_t OneShotTimers::armed() const {
    size_t n = 0;
    for (const Slot& slot : m_slots)
        n += slot.armed ? 1 : 0;
    return n;
}

size_t OneShotTimers::fire_due() {
    uint64_t expirations;
    (void)!::read(m_fd, &expirations, sizeof expirations);
    m_armed_deadline = 0;
    const uint64_t now = monotonic_us();
    size_t fired = 0;
    for (;;) {
        Slot* due = nullptr;
        for (Slot& slot : m_slots)
            if (slot.armed && slot.deadline_us <= now &&
                (!due || slot.deadline_us < due->deadline_us ||
                 (slot.deadline_us == due->deadline_us && slot.order < due->order)))
                due = &slot;
        if (!due)
            break;
        due->armed = false;
        due->callback(due->context); // may arm or cancel timers
        ++fired;
    }
    rearm();
    return fired;
}

void OneShotTimers::rearm() {
    uint64_t earliest = 0;
    for (const Slot& slot : m_slots)
        if (slot.armed && (earliest == 0 || slot.deadline_us < earliest))
            earliest = slot.deadline_us;
    if (earliest == m_armed_deadline)
        return;
    // A zero value disarms; a deadline in the past fires at once.
    itimerspec spec = absolute(earliest);
    if (earliest != 0 && spec.it_value.tv_sec == 0 && spec.it_value.tv_nsec == 0)
        spec.it_value.tv_nsec = 1;
    ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr);
    m_armed_deadline = earliest;
}

} // namespace quellin::os
