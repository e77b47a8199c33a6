// The state of one binding of the edges, shared by the files of the Edges class: its
// devices, what it holds of the lower interface, its flags and counters.
#pragma once

#include "QuellinEdges/Edges.h"
#include "QuellinEdges/SavedOffloads.h"

#include <algorithm>
#include <memory>

namespace quellin::edges {

struct Edges::Port {
    Binding binding;
    RteAdapter* adapter = nullptr;
    std::unique_ptr<TapDevice> tap; // station side, "tap:" bindings
    int tapIndex = 0;               // 0 when the TAP is not in this namespace
    bool stationGiven = false;      // the TAP has the lower interface's settings
    std::unique_ptr<HeldInterface> held;
    std::unique_ptr<LinkMonitor> heldMonitor;    // links of the held interface's namespace
    std::unique_ptr<PacketSocket> stationSocket; // station side, "if:" bindings
    std::unique_ptr<PacketSocket> lower;
    std::unique_ptr<SavedOffloads> saved; // "if:" bindings: both interfaces' records
    bool stationWatched = false;
    bool powered = false;
    bool media = false;
    uint32_t mtu = 0; // of the lower interface, as the TAP last followed it
    // Offloaded TCP packets are cut to the smaller MTU of the two sides.
    uint32_t lowerMtu = 0;
    uint32_t stationMtu = 0;
    uint32_t segment_mtu() const {
        if (lowerMtu && stationMtu)
            return std::min(lowerMtu, stationMtu);
        return lowerMtu ? lowerMtu : stationMtu;
    }
    std::array<uint8_t, 6> mac{};
    Coalescer toStation;      // runs of TCP segments for a TAP with offloads, written soon
    bool joinRefused = false; // its kernel refused a joined run
    bool waitingForSlot = false;
    std::string lastNote; // what was last said of a binding that does not bind
    AdapterCounters counters;
    std::array<uint64_t, 2> reportedRefused{};
    std::array<uint64_t, 2> reportedDrops{};
    std::array<uint64_t, 2> reportedUnread{};
    std::array<uint64_t, 2> reportedNotTaken{};
    uint64_t tapDroppedBase = 0; // the TAP's own count when it was made
    uint64_t tapDroppedSeen = 0; // what of it was already counted
};

} // namespace quellin::edges
