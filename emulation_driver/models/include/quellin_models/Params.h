// The play-block fields the models read, decoded once per loaded (or neutralised) block.
#pragma once

#include "quellin_wire/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace quellin::wire {
class DriverPlayBlock;
}

namespace quellin::models {

struct DelayParams {
    uint16_t type = 0; // 0 fixed, 1 normal, 2 bounded walk, 3 recorded in time,
                       // 4 recorded at random, 5 linear sweep
    uint16_t minDelay = 0;
    uint16_t maxDelay = 0;
    uint16_t jitter = 0;
    uint16_t maxDelayDiff = 0;
    uint16_t timeSpanSec = 0;
};

struct LossParams {
    int16_t type = 0; // 0 none, 1 periodic, 2 random, 3 burst, 4 recorded in time,
                      // 5 recorded at random, 6 Gilbert-Elliott
    uint16_t every = 0;
    uint16_t randomly = 0;
    uint16_t burstChance = 0;
    uint16_t burstMin = 0;
    uint16_t burstMax = 0;
    uint16_t gilbertGood = 0;
    uint16_t gilbertBad = 0;
    uint16_t gilbertToGood = 0;
    uint16_t gilbertToBad = 0;
};

// The recorded series in the block's tail: count delay samples (ms), then count loss
// samples (hundredths of a percent), all signed 16-bit little-endian. The bytes belong to
// the loaded block.
struct RecordedSeries {
    uint16_t count = 0;
    uint16_t interval = 0; // ms
    std::span<const uint8_t> tail;

    int16_t delay(size_t i) const { return sample(i); }
    int16_t loss(size_t i) const { return sample(count + i); }
    bool playable() const { return count != 0 && interval != 0; }

private:
    int16_t sample(size_t i) const {
        return static_cast<int16_t>(wire::get_u16(tail.data(), 2 * i));
    }
};

struct PeriodParams { // a disconnect or congestion period
    uint16_t timeChance = 0;
    uint16_t minLength = 0;
    uint16_t maxLength = 0;
};

struct CongestionParams {
    PeriodParams period;
    uint16_t peakRandomError = 0;
    uint16_t constantDelay = 0;
};

struct BucketParams {
    uint16_t sizeKb = 0xFFFF; // 0xFFFF unlimited
    uint16_t mode = 0;        // non-zero: every packet counts 1,500 bytes
    uint32_t redMinKb = 0;
    uint32_t redMaxKb = 0;

    bool redOn() const { return redMinKb != 0 || redMaxKb != 0; }
};

struct BitErrorParams {
    uint64_t chance = 0; // one error in this many bits; 0 off
    uint16_t minBurst = 0;
    uint16_t maxBurst = 0;
};

struct DuplicationParams {
    uint16_t chance = 0; // percent
    uint16_t minBurst = 0;
    uint16_t maxBurst = 0;
};

struct FragmentationParams {
    uint16_t chance = 0; // percent
    uint16_t mtu = 0;
    uint16_t order = 0;
};

struct ModelParams {
    DelayParams delay;
    LossParams loss;
    RecordedSeries series;
    PeriodParams disconnect;
    CongestionParams congestion;
    BucketParams bucket[2]; // 0 East, 1 West
    BitErrorParams bitError;
    DuplicationParams duplication;
    FragmentationParams fragmentation;
};

// The groups one decision reads, taken from the block as it stands.
DelayParams decode_delay(const wire::DriverPlayBlock& block);
LossParams decode_loss(const wire::DriverPlayBlock& block);
RecordedSeries decode_series(const wire::DriverPlayBlock& block);
PeriodParams decode_disconnect(const wire::DriverPlayBlock& block);
CongestionParams decode_congestion(const wire::DriverPlayBlock& block);
BucketParams decode_bucket(const wire::DriverPlayBlock& block, int bucket);
BitErrorParams decode_bit_error(const wire::DriverPlayBlock& block);
DuplicationParams decode_duplication(const wire::DriverPlayBlock& block);
FragmentationParams decode_fragmentation(const wire::DriverPlayBlock& block);

// Reads the fields of a loaded block; decode again after the block changes (load, stop).
// The series refers to the block's tail; a tail shorter than its sample count says is
// ignored (count 0).
ModelParams decode_model_params(const wire::DriverPlayBlock& block);

} // namespace quellin::models
