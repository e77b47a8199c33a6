#include "quellin_models/Params.h"

#include "quellin_wire/DriverPlayBlock.h"

namespace quellin::models {

DelayParams decode_delay(const wire::DriverPlayBlock& b) {
    return {b.delayType(),   b.minDelay(),     b.maxDelay(),
            b.delayJitter(), b.maxDelayDiff(), b.timeSpanSec()};
}

LossParams decode_loss(const wire::DriverPlayBlock& b) {
    LossParams l;
    l.type = b.lossType();
    l.every = b.lossEvery();
    l.randomly = b.lossRandomly();
    l.burstChance = b.burstChance();
    l.burstMin = b.burstMin();
    l.burstMax = b.burstMax();
    l.gilbertGood = b.gilbertGood();
    l.gilbertBad = b.gilbertBad();
    l.gilbertToGood = b.gilbertToGood();
    l.gilbertToBad = b.gilbertToBad();
    return l;
}

RecordedSeries decode_series(const wire::DriverPlayBlock& b) {
    RecordedSeries s;
    const uint16_t count = b.sampleCount();
    const size_t tailBytes = static_cast<size_t>(count) * 4;
    const size_t present = b.size() > wire::pb::kTail ? b.size() - wire::pb::kTail : 0;
    if (count != 0 && present >= tailBytes && b.bytes().size() >= wire::pb::kTail + tailBytes) {
        s.count = count;
        s.interval = b.sampleInterval();
        s.tail = std::span<const uint8_t>(b.data() + wire::pb::kTail, tailBytes);
    }
    return s;
}

PeriodParams decode_disconnect(const wire::DriverPlayBlock& b) {
    return {b.disconnectTimeChance(), b.disconnectMinTime(), b.disconnectMaxTime()};
}

CongestionParams decode_congestion(const wire::DriverPlayBlock& b) {
    return {{b.congestionTimeChance(), b.congestionMinDuration(), b.congestionMaxDuration()},
            b.peakRandomError(),
            b.constantDelay()};
}

BucketParams decode_bucket(const wire::DriverPlayBlock& b, int bucket) {
    if (bucket == 0)
        return {b.eastBucketSize(), b.eastBucketMode(), b.eastMinBucketThreshold(),
                b.eastMaxBucketThreshold()};
    return {b.westBucketSize(), b.westBucketMode(), b.westMinBucketThreshold(),
            b.westMaxBucketThreshold()};
}

BitErrorParams decode_bit_error(const wire::DriverPlayBlock& b) {
    return {b.bitErrorChance(), b.bitErrorMinBurst(), b.bitErrorMaxBurst()};
}

DuplicationParams decode_duplication(const wire::DriverPlayBlock& b) {
    return {b.duplicationChance(), b.duplicationMinBurst(), b.duplicationMaxBurst()};
}

FragmentationParams decode_fragmentation(const wire::DriverPlayBlock& b) {
    return {b.fragmentationChance(), b.maxTransmitionUnit(), b.fragmentationOrder()};
}

ModelParams decode_model_params(const wire::DriverPlayBlock& b) {
    ModelParams p;
    p.delay = decode_delay(b);
    p.loss = decode_loss(b);
    p.series = decode_series(b);
    p.disconnect = decode_disconnect(b);
    p.congestion = decode_congestion(b);
    p.bucket[0] = decode_bucket(b, 0);
    p.bucket[1] = decode_bucket(b, 1);
    p.bitError = decode_bit_error(b);
    p.duplication = decode_duplication(b);
    p.fragmentation = decode_fragmentation(b);
    return p;
}

} // namespace quellin::models
