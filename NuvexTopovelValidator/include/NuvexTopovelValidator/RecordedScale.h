// The one rule by which recorded samples are scaled: the validator checks and the scenario
// conversion plays the same products, so a sample the one passes the other can play.
#pragma once

#include <cmath>

namespace recorded_scale {

// A scale factor in percent as the samples' multiplier, in single precision.
inline float Factor(int percent) {
    return static_cast<float>(percent) / 100.0f;
}

// A latency sample times the factor in single precision, cut toward zero; returned as a
// double, which holds every such product, so that a large one is never converted to an int.
inline double ScaledLatency(int sample, float factor) {
    return std::trunc(static_cast<double>(static_cast<float>(sample) * factor));
}

// A loss sample times the factor, in single precision.
inline float ScaledLoss(float sample, float factor) {
    return sample * factor;
}

} // namespace recorded_scale
