// Which of several sending threads (lanes) a frame goes to. A flow stays on its lane while
// a frame of it is still to be sent there, so its frames leave in the order they came;
// once the lane has sent them all, the flow's next frame goes to the lane with the least
// waiting, the first such after the lane last chosen. Flows that run at once spread over
// the lanes however their numbers fall, and a lane that two busy flows share gives one of
// them up as soon as that one pauses. Flows are told apart by FlowHash in a table of
// kSlots; two that share a slot share a lane, which keeps the order of both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quellin::edges {

class FlowLanes {
public:
    static constexpr size_t kSlots = 1024;

    explicit FlowLanes(size_t lanes) : m_lanes(lanes ? lanes : 1) {}
    size_t lanes() const { return m_lanes; }

    // The lane for the next frame of flow `hash`. `lane(i)` gives lane i as an object with
    // sent() (frames whose sending ended) and backlog() (frames waiting to be started).
    template <class LaneOf>
    size_t choose(uint32_t hash, LaneOf&& lane) {
        Slot& s = m_slots[hash % kSlots];
        if (s.last != 0 && lane(s.lane).sent() < s.last)
            return s.lane;
        size_t best = (m_next + 1) % m_lanes;
        uint64_t least = lane(best).backlog();
        for (size_t k = 2; k <= m_lanes && least > 0; ++k) {
            const size_t i = (m_next + k) % m_lanes;
            const uint64_t waiting = lane(i).backlog();
            if (waiting < least) {
                best = i;
                least = waiting;
            }
        }
        m_next = best;
        s.lane = static_cast<uint32_t>(best);
        s.last = 0;
        return best;
    }
    // The frame of flow `hash` went to its lane as the lane's `pushed`-th frame.
    void pushed(uint32_t hash, uint64_t pushed) { m_slots[hash % kSlots].last = pushed; }

private:
    struct Slot {
        uint64_t last = 0; // the lane's count of frames pushed at the flow's last frame
        uint32_t lane = 0;
    };
    size_t m_lanes;
    size_t m_next = 0;
    std::array<Slot, kSlots> m_slots{};
};

} // namespace quellin::edges
