#include "AltirenPlayCheck/PlayBlockCheck.h"

#include "AltirenPlayCheck/PlayCheck.h"

#include <arpa/inet.h>
#include <vector>

namespace altiren_api {

namespace {

using quellin::wire::DriverPlayBlock;
namespace pb = quellin::wire::pb;

// Block values without a counterpart in the caller's parameters become values the checks
// refuse: out of the range of a type's mapping, or a chance equal to "off".
constexpr uint16_t kNoLatencyType = 5;
constexpr int16_t kNoLossType = 6;
constexpr uint16_t kOff = NUVEX_GROUP_OFF;

double kbit_per_s(uint32_t units) {
    return units == pb::kUnlimitedBandwidth ? NUVEX_UNLIMITED_BANDWIDTH : units / 10.0;
}

double percent(uint16_t hundredths) {
    return hundredths / 100.0;
}

// A group's chance: 0 in the block is "off"; the caller's "off" value cannot come from a
// group that is on.
template <typename T>
T chance(T block) {
    if (block == 0)
        return kOff;
    return block == kOff ? 0 : block;
}

uint16_t latency_type(uint16_t delayType) {
    switch (delayType) {
    case 0:
    case 1:
    case 2:
    case 3:
        return delayType;
    case 4:
        return 3; // recorded, picked at random
    case 5:
        return 4;
    default:
        return kNoLatencyType;
    }
}

int16_t loss_type(int16_t lossType) {
    switch (lossType) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        return lossType;
    case 5:
        return 4; // recorded, picked at random
    case 6:
        return 5;
    default:
        return kNoLossType;
    }
}

// The caller's parameters a block stands for, with the sample arrays they point into.
struct BlockParameters {
    PlayParameters p{};
    std::vector<uint32_t> delays;
    std::vector<uint32_t> losses;
};

void read_gateway(const DriverPlayBlock& b, PlayParameters& p) {
    p.eastOutBandwidth = kbit_per_s(b.eastOut());
    p.eastInBandwidth = kbit_per_s(b.eastIn());
    p.westOutBandwidth = kbit_per_s(b.westOut());
    p.westInBandwidth = kbit_per_s(b.westIn());
    p.eastBucketMode = b.eastBucketMode();
    p.westBucketMode = b.westBucketMode();
    p.eastBucketSize = b.eastBucketSize();
    p.westBucketSize = b.westBucketSize();
    p.eastOverhead = b.eastOverhead();
    p.westOverhead = b.westOverhead();
    p.eastRedMinThreshold = b.eastMinBucketThreshold();
    p.eastRedMaxThreshold = b.eastMaxBucketThreshold();
    p.westRedMinThreshold = b.westMinBucketThreshold();
    p.westRedMaxThreshold = b.westMaxBucketThreshold();
}

void read_latency_and_loss(const DriverPlayBlock& b, PlayParameters& p) {
    p.latencyType = latency_type(b.delayType());
    p.minDelay = b.minDelay();
    p.maxDelay = b.maxDelay();
    p.jitter = b.delayJitter();
    p.maxDelayDiff = b.maxDelayDiff();
    p.timeSpan = b.timeSpanSec();

    p.lossType = loss_type(b.lossType());
    p.lossPeriod = static_cast<uint16_t>(b.lossEvery() + 1);
    p.randomLoss = percent(b.lossRandomly());
    p.burstChance = percent(b.burstChance());
    p.burstMin = b.burstMin();
    p.burstMax = b.burstMax();
    p.gilbertGoodLoss = percent(b.gilbertGood());
    p.gilbertBadLoss = percent(b.gilbertBad());
    p.gilbertToGood = percent(b.gilbertToGood());
    p.gilbertToBad = percent(b.gilbertToBad());
}

void read_effects(const DriverPlayBlock& b, PlayParameters& p) {
    p.outOfOrderChance = chance(b.outOfOrderChance());
    p.outOfOrderMinRange = b.outOfOrderMinRange();
    p.outOfOrderMaxRange = b.outOfOrderMaxRange();
    p.duplicationChance = chance(b.duplicationChance());
    p.duplicationMinBurst = b.duplicationMinBurst();
    p.duplicationMaxBurst = b.duplicationMaxBurst();
    p.fragmentationChance = chance(b.fragmentationChance());
    p.fragmentSize = b.maxTransmitionUnit();
    p.fragmentOrder = b.fragmentationOrder();
    p.bitErrorChance = chance<uint64_t>(b.bitErrorChance());
    p.bitErrorMinBurst = b.bitErrorMinBurst();
    p.bitErrorMaxBurst = b.bitErrorMaxBurst();
    p.disconnectChance = chance(b.disconnectTimeChance());
    p.disconnectMinTime = b.disconnectMinTime();
    p.disconnectMaxTime = b.disconnectMaxTime();
    p.congestionChance = chance(b.congestionTimeChance());
    p.congestionPeakError = percent(b.peakRandomError());
    p.congestionConstantDelay = b.constantDelay();
    p.congestionMinDuration = b.congestionMinDuration();
    p.congestionMaxDuration = b.congestionMaxDuration();
}

void read_filter(const DriverPlayBlock& b, PlayParameters& p) {
    p.adapterAddress = htonl(b.adapterAddress());
    p.filterMode = b.filterMode();
    p.filterCount = b.filterCount();
    for (uint32_t i = 0; i < p.filterCount && i < NUVEX_MAX_FILTERS; ++i) {
        const auto e = b.filterEntry(i);
        // The library writes single addresses; a range stands for no address it accepts.
        p.filterAddresses[i] = e.firstAddress == e.lastAddress ? htonl(e.firstAddress) : 0;
    }
}

void read_recorded(const DriverPlayBlock& b, BlockParameters& out) {
    PlayParameters& p = out.p;
    p.sampleCount = b.sampleCount();
    p.sampleInterval = b.sampleInterval();
    const bool atRandom = b.delayType() == 4 || b.lossType() == 5;
    p.recordedKind = atRandom ? 2 : 1;
    if (p.sampleCount == 0)
        return;
    // Samples past the block's end read as 0, as the zeroed vectors hold them already: a
    // count the block does not carry costs no reads.
    out.delays.resize(p.sampleCount);
    const size_t delaysHeld = b.delaySamplesHeld();
    for (size_t i = 0; i < delaysHeld; ++i)
        out.delays[i] = static_cast<uint16_t>(b.delaySample(i));
    p.delaySamples = out.delays.data();
    if (b.lossType() != 4 && b.lossType() != 5)
        return;
    // Whole percent, rounded up: a sample above 94 % in hundredths stays above 94.
    out.losses.resize(p.sampleCount);
    const size_t lossesHeld = b.lossSamplesHeld();
    for (size_t i = 0; i < lossesHeld; ++i)
        out.losses[i] = (uint32_t{static_cast<uint16_t>(b.lossSample(i))} + 99) / 100;
    p.lossSamples = out.losses.data();
}

} // namespace

int check_play_block_fields(const DriverPlayBlock& block) {
    BlockParameters parameters;
    read_gateway(block, parameters.p);
    read_latency_and_loss(block, parameters.p);
    read_effects(block, parameters.p);
    read_filter(block, parameters.p);
    read_recorded(block, parameters);
    PlayBlockValues unused;
    return check_and_convert(parameters.p, unused);
}

} // namespace altiren_api
