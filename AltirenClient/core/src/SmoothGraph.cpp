#include "AltirenClient/SmoothGraph.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int kGap = -1;

// The low 16 bits of a float truncated toward zero, as the integer would give them;
// values that are not finite give 0.
int LowBits(float value) {
    if (!std::isfinite(value))
        return 0;
    double wrapped = std::fmod(std::trunc(static_cast<double>(value)), 65536.0);
    if (wrapped < 0)
        wrapped += 65536.0;
    return static_cast<int>(wrapped);
}

int Low16(int value) {
    return static_cast<int>(static_cast<uint32_t>(value) & 0xFFFFu);
}

} // namespace

extern "C" int SmoothGraphArray(unsigned int count, int* values) {
    if (count == 0)
        return 0;
    const unsigned last = count - 1;
    if (values[0] == kGap || values[last] == kGap) {
        float sum = 0.0f;
        unsigned valid = 0;
        for (unsigned i = 0; i < count; ++i)
            if (values[i] != kGap) {
                sum += static_cast<float>(values[i]);
                ++valid;
            }
        const int average = LowBits(sum / static_cast<float>(valid ? valid : 1) + 0.5f);
        if (values[0] == kGap)
            values[0] = average;
        if (values[last] == kGap)
            values[last] = average;
    }
    bool inRun = false;
    unsigned start = 0;
    for (unsigned i = 1; i < count; ++i) {
        if (values[i] == kGap) {
            if (!inRun) {
                inRun = true;
                start = i;
            }
            continue;
        }
        if (!inRun)
            continue;
        inRun = false;
        const unsigned end = i - 1;
        const int before = values[start - 1];
        const float n = static_cast<float>(end - start + 1);
        const float slope = static_cast<float>(Low16(values[i]) - Low16(before)) / (n + 1.0f);
        for (unsigned k = start; k <= end; ++k)
            values[k] = LowBits(static_cast<float>(before) +
                                static_cast<float>(k + 1 - start) * slope + 0.5f);
    }
    return 1;
}
