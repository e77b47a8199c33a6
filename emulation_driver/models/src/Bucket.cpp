#include "quellin_models/Bucket.h"

#include "quellin_models/Random.h"

#include <algorithm>
#include <array>

namespace quellin::models {

namespace {

constexpr uint32_t kMsPerDay = 86400000;

struct PowTable {
    std::array<uint32_t, 32> entry{};
    int64_t limit = 0;

    PowTable() {
        entry[0] = 4088;
        for (size_t k = 1; k < entry.size(); ++k)
            entry[k] =
                static_cast<uint32_t>(static_cast<uint64_t>(entry[k - 1]) * entry[k - 1] / 4096);
        for (size_t k = 0; k < entry.size(); ++k) {
            if (entry[k] == 0) {
                limit = int64_t{1} << k;
                break;
            }
        }
    }
};

void count_drop(int b, Counters c, ModelRuntime& rt) {
    RuntimeLock lock(rt, kLockCounters);
    ++c[4 + b];
    ++c[8 + b];
    if (c[6 + b] < c[4 + b])
        c[6 + b] = c[4 + b];
}

uint64_t scaled(uint32_t kb) {
    return static_cast<uint64_t>(kb) << kRedScaleShift;
}

} // namespace

uint32_t pow_w(int64_t n) {
    static const PowTable table;
    if (n <= 0)
        return 4096;
    if (n >= table.limit)
        return 0;
    uint64_t v = 4096;
    for (size_t k = 0; n >> k != 0; ++k) {
        if ((n >> k) & 1)
            v = (v * table.entry[k]) >> 12;
    }
    return static_cast<uint32_t>(v);
}

void red_reset(Bucket& bucket, uint32_t nowMs) {
    bucket.red.unit = 800;
    bucket.red.average = 0;
    bucket.red.idle = 1;
    bucket.red.aboveMin = 0;
    bucket.red.idleStart = nowMs;
    bucket.stats = {};
}

int du_add_to_bucket(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                     ModelRuntime& rt) {
    if (p.redOn())
        return red_enqueue(bucket, b, p, size, counters, rt);
    return fifo_enqueue(bucket, b, p, size, counters, rt);
}

int fifo_enqueue(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                 ModelRuntime& rt) {
    const uint32_t s = p.mode != 0 ? kPacketModeSize : size;
    if (p.sizeKb != 0xFFFF &&
        static_cast<uint64_t>(p.sizeKb) * 1024 < static_cast<uint64_t>(bucket.fill) + s) {
        count_drop(b, counters, rt);
        return 0;
    }
    bucket.fill += s;
    RuntimeLock lock(rt, kLockCounters);
    if (counters[b] < bucket.fill)
        counters[b] = bucket.fill;
    if (counters[2 + b] < bucket.fill)
        counters[2 + b] = bucket.fill;
    return 1;
}

void du_del_from_bucket(Bucket& bucket, const BucketParams& p, uint32_t size, ModelRuntime& rt) {
    const uint32_t s = p.mode != 0 ? kPacketModeSize : size;
    bucket.fill = bucket.fill > s ? bucket.fill - s : 0;
    if (p.redOn() && bucket.fill == 0) {
        bucket.red.idle = 1;
        bucket.red.idleStart = rt.gettimeofday();
    }
}

bool drop_early(const RedState& red, const BucketParams& p, uint32_t size, ModelRuntime& rt) {
    const int64_t s = size == 0 ? 1 : size;
    const int64_t range = static_cast<int64_t>(p.redMaxKb) - static_cast<int64_t>(p.redMinKb);
    const int64_t prob = range * 81920 / s * 4096;
    const int64_t level = std::max<int64_t>(
        static_cast<int64_t>(red.average / 512) - static_cast<int64_t>(p.redMinKb) * 4096, 0);
    const int64_t excess = level * (red.bytesSinceDrop / 1024);
    if (excess >= prob)
        return true;
    return du_long_rand_span64(rt, static_cast<uint64_t>(prob - excess)) <
           static_cast<uint64_t>(level);
}

int red_enqueue(Bucket& bucket, int b, const BucketParams& p, uint32_t size, Counters counters,
                ModelRuntime& rt) {
    RedState& red = bucket.red;
    if (red.idle != 0) {
        red.idle = 0;
        // Idle time in ms, across a midnight restart of the clock of day.
        const uint32_t now = rt.gettimeofday();
        const uint32_t m =
            now >= red.idleStart ? now - red.idleStart : now + kMsPerDay - red.idleStart;
        if (m < 60001) {
            const int64_t n = static_cast<int64_t>(m) * 1000 / red.unit;
            if (n > 0)
                red.average = pow_w(n) * (red.average >> 12);
        } else {
            red.average = 0;
        }
    }
    red.average =
        red.average + static_cast<uint64_t>(bucket.fill / 1024) * 4096 - red.average / 512;
    red.bytesSinceDrop += size;

    const uint64_t lo = scaled(p.redMinKb);
    const uint64_t hi = scaled(p.redMaxKb);
    if (lo <= red.average && red.average <= hi && red.aboveMin == 0) {
        red.bytesSinceDrop = size;
        red.aboveMin = 1;
    }

    int taken = 0;
    if (red.average < lo || bucket.fill == 0) {
        red.aboveMin = 0;
        taken = fifo_enqueue(bucket, b, p, size, counters, rt);
    } else if (red.average >= hi) {
        ++bucket.stats.forcedDrops;
        count_drop(b, counters, rt);
    } else if (red.aboveMin != 0 && drop_early(red, p, size, rt)) {
        ++bucket.stats.earlyDrops;
        count_drop(b, counters, rt);
    } else {
        taken = fifo_enqueue(bucket, b, p, size, counters, rt);
    }
    if (taken == 0)
        red.bytesSinceDrop = 0;

    bucket.stats.averageKb = static_cast<uint32_t>(red.average >> kRedScaleShift);
    bucket.stats.bytesSinceDrop = red.bytesSinceDrop;
    return taken;
}

} // namespace quellin::models
