// Gateway buckets: tail drop, or Random Early Detection when thresholds are set.
#pragma once

#include "quellin_models/Params.h"
#include "quellin_models/Runtime.h"

#include <cstdint>
#include <span>

namespace quellin::models {

inline constexpr uint32_t kPacketModeSize = 1500;
inline constexpr unsigned kRedScaleShift = 21; // averages and thresholds held as KB * 2^21

// The six words of the RED state. The average is held in 64 bits so that thresholds of
// 1,024 KB and more (up to the bucket size) are compared and decayed without wrapping.
struct RedState {
    uint32_t unit = 800; // us per packet time of the idle decay
    uint64_t average = 0;
    uint32_t bytesSinceDrop = 0;
    uint32_t idle = 1;
    uint32_t aboveMin = 0;
    uint32_t idleStart = 0; // ms of the day
};

struct RedStatistics {
    uint32_t averageKb = 0;
    uint32_t bytesSinceDrop = 0;
    uint32_t earlyDrops = 0;
    uint32_t forcedDrops = 0;
};

struct Bucket {
    uint32_t fill = 0; // bytes
    RedState red;
    RedStatistics stats;
};

// The 19 queue counters; indexes 0 to 9 are the buckets' (fills, drops).
using Counters = std::span<uint32_t, 19>;

// Start-up and load: RED state and statistics reset, idle from now (ms of the day).
void red_reset(Bucket& bucket, uint32_t nowMs);

// Offers a packet of `size` bytes to bucket b (0 East, 1 West): 1 taken, 0 dropped.
int du_add_to_bucket(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                     ModelRuntime& rt);
int fifo_enqueue(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                 ModelRuntime& rt);
int red_enqueue(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                ModelRuntime& rt);
// A packet that left the gateway's link gives its bytes back.
void du_del_from_bucket(Bucket& bucket, const BucketParams& p, uint32_t size, ModelRuntime& rt);

// Whether RED drops a packet of `size` bytes early; average between the thresholds.
bool drop_early(const RedState& red, const BucketParams& p, uint32_t size, ModelRuntime& rt);

// w^n in units of 1/4,096, w = 4,088 / 4,096.
uint32_t pow_w(int64_t n);

} // namespace quellin::models
