#include "quellin_models/Params.h"

#include "quellin_wire/DriverPlayBlock.h"

namespace quellin::models {

ModelParams decode_model_params(const wire::DriverPlayBlock& b) {
    ModelParams p;
    p.delay = {b.delayType(),   b.minDelay(),     b.maxDelay(),
               b.delayJitter(), b.maxDelayDiff(), b.timeSpanSec()};
    p.loss.type = b.lossType();
    p.loss.every = b.lossEvery();
    p.loss.randomly = b.lossRandomly();
    p.loss.burstChance = b.burstChance();
    p.loss.burstMin = b.burstMin();
    p.loss.burstMax = b.burstMax();
    p.loss.gilbertGood = b.gilbertGood();
    p.loss.gilbertBad = b.gilbertBad();
    p.loss.gilbertToGood = b.gilbertToGood();
    p.loss.gilbertToBad = b.gilbertToBad();

    const uint16_t count = b.sampleCount();
    const size_t tailBytes = static_cast<size_t>(count) * 4;
    const size_t present = b.size() > wire::pb::kTail ? b.size() - wire::pb::kTail : 0;
    if (count != 0 && present >= tailBytes && b.bytes().size() >= wire::pb::kTail + tailBytes) {
        p.series.count = count;
        p.series.interval = b.sampleInterval();
        p.series.tail = std::span<const uint8_t>(b.data() + wire::pb::kTail, tailBytes);
    }

    p.bucket[0] = {b.eastBucketSize(), b.eastBucketMode(), b.eastMinBucketThreshold(),
                   b.eastMaxBucketThreshold()};
    p.bucket[1] = {b.westBucketSize(), b.westBucketMode(), b.westMinBucketThreshold(),
                   b.westMaxBucketThreshold()};
    p.duplication = {b.duplicationChance(), b.duplicationMinBurst(), b.duplicationMaxBurst()};
    p.bitError = {b.bitErrorChance(), b.bitErrorMinBurst(), b.bitErrorMaxBurst()};
    p.disconnect = {b.disconnectTimeChance(), b.disconnectMinTime(), b.disconnectMaxTime()};
    p.fragmentation = {b.fragmentationChance(), b.maxTransmitionUnit(), b.fragmentationOrder()};
    p.congestion.period = {b.congestionTimeChance(), b.congestionMinDuration(),
                           b.congestionMaxDuration()};
    p.congestion.peakRandomError = b.peakRandomError();
    p.congestion.constantDelay = b.constantDelay();
    return p;
}

} // namespace quellin::models
