// Where frames from the adapters and the station enter: the classifier decides between
// the engine and passing straight through.
#pragma once

#include "quellin_rte/PacketLayer.h"

#include <cstddef>
#include <cstdint>

namespace quellin {

inline constexpr uint32_t kReservedDescriptors = 10;

enum class EdgeResult {
    Refused,  // no descriptor, or the frame is too large
    PassedOn, // not emulated: sent on at once
    Emulated, // entered the engine
    Dropped,  // emulated, but the adapter's pool is nearly empty
};

// A frame the station sends (direction 0) or the network delivers (direction 1).
EdgeResult edge_packet_in(RteAdapter* adapter, int direction, const uint8_t* frame, size_t length);

} // namespace quellin
