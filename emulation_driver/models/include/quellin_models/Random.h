// Integer draws built on the 15-bit generator.
#pragma once

#include "quellin_models/Runtime.h"
#include "quellin_rte/RandomRange.h"

#include <cstdint>

namespace quellin::models {

// An integer from a to b out of one draw (rand_in_range).
uint16_t du_rand(ModelRuntime& rt, uint32_t a, uint32_t b);

// Two draws r1, r2; a + (r1 * 32767 + r2) * (b - a) / 1,073,709,056 with b - a taken as an
// unsigned 32-bit span.
uint32_t du_long_rand(ModelRuntime& rt, uint32_t a, uint32_t b);

// The same two draws scaled over a 64-bit span: 0 to span.
uint64_t du_long_rand_span64(ModelRuntime& rt, uint64_t span);

// A 64-bit integer from three draws: a + r * span / 32767 + du_long_rand(0, span / 32767),
// span = b - a; it may exceed b by up to span / 32767.
uint64_t du_int64_rand(ModelRuntime& rt, uint64_t a, uint64_t b);

} // namespace quellin::models
