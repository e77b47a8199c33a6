#include "quellin_rte/TestSeams.h"

#include <limits>

namespace quellin::rte::test {

uint16_t ScriptedRandom::rand15() {
    ++m_drawn;
    if (m_draws.empty()) {
        ++m_underruns;
        return m_fallback;
    }
    const uint16_t d = m_draws.front();
    m_draws.pop_front();
    return d;
}

ManualTimers::ManualTimers(VirtualClock& clock, size_t capacity)
    : m_clock(clock), m_slots(capacity) {}

int ManualTimers::arm(uint32_t ms, TimerCallback callback, void* context) {
    m_armedMs.push_back(ms);
    if (m_failNext > 0) {
        --m_failNext;
        return -1;
    }
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i].armed) {
            m_slots[i] =
                Slot{true, m_clock.now() + uint64_t{ms} * 1000, m_order++, callback, context};
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool ManualTimers::cancel(int handle) {
    if (handle < 0 || static_cast<size_t>(handle) >= m_slots.size() || !m_slots[handle].armed)
        return false;
    m_slots[handle].armed = false;
    return true;
}

int ManualTimers::earliest_due(uint64_t limit) const {
    int best = -1;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        const Slot& s = m_slots[i];
        if (!s.armed || s.deadline > limit)
            continue;
        if (best < 0 || s.deadline < m_slots[best].deadline ||
            (s.deadline == m_slots[best].deadline && s.order < m_slots[best].order))
            best = static_cast<int>(i);
    }
    return best;
}

size_t ManualTimers::fire_due() {
    size_t fired = 0;
    for (int i = earliest_due(m_clock.now()); i >= 0; i = earliest_due(m_clock.now())) {
        Slot s = m_slots[i];
        m_slots[i].armed = false;
        s.callback(s.context);
        ++fired;
    }
    return fired;
}

size_t ManualTimers::run_until(uint64_t us) {
    size_t fired = 0;
    for (int i = earliest_due(us); i >= 0; i = earliest_due(us)) {
        if (m_slots[i].deadline > m_clock.now())
            m_clock.set(m_slots[i].deadline);
        fired += fire_due();
    }
    if (us > m_clock.now())
        m_clock.set(us);
    return fired;
}

bool ManualTimers::fire_next() {
    const int i = earliest_due(std::numeric_limits<uint64_t>::max());
    if (i < 0)
        return false;
    if (m_slots[i].deadline > m_clock.now())
        m_clock.set(m_slots[i].deadline);
    fire_due();
    return true;
}

size_t ManualTimers::armed() const {
    size_t n = 0;
    for (const auto& s : m_slots)
        n += s.armed ? 1 : 0;
    return n;
}

uint64_t ManualTimers::next_deadline() const {
    const int i = earliest_due(std::numeric_limits<uint64_t>::max());
    return i < 0 ? std::numeric_limits<uint64_t>::max() : m_slots[i].deadline;
}

void CaptureSink::transmit(uint16_t adapterNumber, int direction, const uint8_t* frame,
                           size_t length) {
    CapturedFrame f;
    f.adapterNumber = adapterNumber;
    f.direction = direction;
    f.timeUs = m_clock ? m_clock->monotonic_us() : 0;
    f.bytes.assign(frame, frame + length);
    m_frames.push_back(std::move(f));
}

size_t CaptureSink::count(int direction) const {
    size_t n = 0;
    for (const auto& f : m_frames)
        n += f.direction == direction ? 1 : 0;
    return n;
}

} // namespace quellin::rte::test
