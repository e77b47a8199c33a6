#include "quellin_models/Random.h"

namespace quellin::models {

namespace {
constexpr int64_t kLongRandScale = 1073709056; // 32767 * 32767 + 32767, the largest draw pair
}

uint16_t du_rand(ModelRuntime& rt, uint32_t a, uint32_t b) {
    return rand_in_range(rt.rand(), a, b);
}

uint32_t du_long_rand(ModelRuntime& rt, uint32_t a, uint32_t b) {
    const int64_t r1 = rt.rand();
    const int64_t r2 = rt.rand();
    const int64_t v = r1 * 32767 + r2;
    const int64_t span = static_cast<uint32_t>(b - a);
    return a + static_cast<uint32_t>(v * span / kLongRandScale);
}

uint64_t du_long_rand_span64(ModelRuntime& rt, uint64_t span) {
    const uint64_t r1 = rt.rand();
    const uint64_t r2 = rt.rand();
    const unsigned __int128 v = r1 * 32767 + r2;
    return static_cast<uint64_t>(v * span / static_cast<uint64_t>(kLongRandScale));
}

uint64_t du_int64_rand(ModelRuntime& rt, uint64_t a, uint64_t b) {
    const uint64_t span = b - a;
    const uint64_t r = rt.rand();
    const uint64_t coarse = static_cast<uint64_t>(static_cast<unsigned __int128>(r) * span / 32767);
    const uint64_t fine = du_long_rand(rt, 0, static_cast<uint32_t>(span / 32767));
    return a + coarse + fine;
}

} // namespace quellin::models
