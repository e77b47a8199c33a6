// The one rule that turns a 15-bit draw into an integer of a range, for the engine's and the
// models' du_rand.
#pragma once

#include <cstdint>

namespace quellin {

inline constexpr uint32_t kRandMax = 0x7FFF;

// An integer from a to b: span = b + 1 - a cut to 16 bits, r = draw * span / 0x7FFF, and r =
// span becomes span - 1; the result is a + r in 16 bits. A span that cuts to 0 (b = a - 1,
// or all 65,536 values) gives a.
constexpr uint16_t rand_in_range(uint16_t draw, uint32_t a, uint32_t b) {
    const uint32_t span = static_cast<uint16_t>(b + 1 - a);
    uint32_t r = uint32_t{draw} * span / kRandMax;
    if (r == span && span != 0)
        r = span - 1;
    return static_cast<uint16_t>(a + r);
}

} // namespace quellin
