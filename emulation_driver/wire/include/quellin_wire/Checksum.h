// Internet checksum as the control library and the driver compute it over a play block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quellin::wire {

// 16-bit big-endian words summed into 32 bits (an odd last byte counts as byte << 8),
// folded twice and complemented; a result of 0 is given as 0xFFFF.
uint16_t internet_checksum(const uint8_t* data, size_t length);

} // namespace quellin::wire
