// A frame's flow, as a number: frames with the same addresses, protocol and (TCP and UDP)
// ports have the same one. Fragments, whose ports cannot be read, go by their addresses and
// protocol alone, as a network card's transmit queues take them. Frames that are no IP
// packet are all flow 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quellin::edges {

uint32_t flow_hash(const uint8_t* frame, size_t length);

} // namespace quellin::edges
