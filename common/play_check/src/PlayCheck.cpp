#include "AltirenPlayCheck/PlayCheck.h"

#include <arpa/inet.h>
#include <cmath>

namespace altiren_api {

namespace {

constexpr double kRoundingGuard = 1e-9;
constexpr uint16_t kOff = NUVEX_GROUP_OFF;

// Written as "inside" so that NaN fails every range.
bool inside(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}
bool at_least(double v, double lo) {
    return v >= lo;
}

uint16_t scaled16(double value, double scale) {
    return static_cast<uint16_t>(scaled_truncate(value, scale));
}

int check_bandwidth(double bw) {
    if (!at_least(bw, 2.4))
        return NUVEX_RC_BANDWIDTH_BELOW;
    if (bw > 10240.0 && bw != NUVEX_UNLIMITED_BANDWIDTH)
        return NUVEX_RC_BANDWIDTH_ABOVE;
    return 0;
}

uint32_t convert_bandwidth(double bw) {
    if (bw >= NUVEX_UNLIMITED_BANDWIDTH)
        return 0xFFFFFFFFu;
    return scaled_truncate(bw, 10.0);
}

int check_red(uint32_t min, uint32_t max, uint16_t bucketSize) {
    if (min != 0 && min < 2)
        return NUVEX_RC_RED_MIN;
    if (max > bucketSize)
        return NUVEX_RC_RED_MAX_ABOVE_BUCKET;
    if (max < min)
        return NUVEX_RC_RED_MAX_BELOW_MIN;
    return 0;
}

int check_percentage(uint16_t percentage, double bandwidth) {
    if (percentage > 100)
        return NUVEX_RC_PERCENTAGE;
    if (percentage != 0 && !(bandwidth < NUVEX_UNLIMITED_BANDWIDTH))
        return NUVEX_RC_PERCENTAGE_UNLIMITED;
    return 0;
}

// A Gilbert-Elliott percentage; NaN counts as below.
int check_gilbert(double v, double lo, double hi) {
    if (!at_least(v, lo))
        return NUVEX_RC_GILBERT_BELOW;
    if (v > hi)
        return NUVEX_RC_GILBERT_ABOVE;
    return 0;
}

// A filter address must name one host: neither 0.0.0.0 nor 255.255.255.255.
bool valid_filter_address(uint32_t networkOrder) {
    return networkOrder != 0 && networkOrder != 0xFFFFFFFFu;
}

} // namespace

uint32_t scaled_truncate(double value, double scale) {
    double scaled = value * scale + kRoundingGuard;
    if (!(scaled > 0.0))
        return 0;
    if (scaled >= 4294967295.0)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(scaled);
}

int check_latency(const PlayParameters& p, PlayBlockValues& b) {
    if (p.latencyType >= 5)
        return NUVEX_RC_LATENCY_TYPE;
    if (p.maxDelay > 8000)
        return NUVEX_RC_MAX_DELAY;
    if (p.maxDelay < p.minDelay)
        return NUVEX_RC_MAX_BELOW_MIN_DELAY;
    if (p.latencyType == 1 && p.jitter > 8000)
        return NUVEX_RC_JITTER;
    if (p.latencyType == 2 && p.maxDelayDiff > (p.maxDelay - p.minDelay) / 2 + 1)
        return NUVEX_RC_MAX_DELAY_DIFF;
    if (p.latencyType == 4 && p.timeSpan == 0)
        return NUVEX_RC_TIME_SPAN;

    static constexpr uint16_t kDelayType[] = {0, 1, 2, 3, 5};
    b.delayType = kDelayType[p.latencyType];
    b.minDelay = p.minDelay;
    b.maxDelay = p.maxDelay;
    b.delayJitter = p.jitter;
    b.maxDelayDiff = (b.delayType == 0 || b.delayType == 1) ? 0xFFFF : p.maxDelayDiff;
    b.timeSpanSec = p.timeSpan;
    return 0;
}

int check_loss(const PlayParameters& p, PlayBlockValues& b) {
    if (p.lossType < 0 || p.lossType > 5)
        return NUVEX_RC_LOSS_TYPE;
    switch (p.lossType) {
    case 1:
        if (p.lossPeriod < 2)
            return NUVEX_RC_LOSS_PERIOD;
        break;
    case 2:
        if (!inside(p.randomLoss, 0.01, 90.0))
            return NUVEX_RC_RANDOM_LOSS;
        break;
    case 3:
        if (!inside(p.burstChance, 0.01, 90.0))
            return NUVEX_RC_BURST_CHANCE;
        if (p.burstMin == 0)
            return NUVEX_RC_BURST_MIN;
        if (p.burstMax > 65534)
            return NUVEX_RC_BURST_MAX;
        if (p.burstMax < p.burstMin)
            return NUVEX_RC_BURST_MAX_BELOW_MIN;
        break;
    case 5:
        if (int rc = check_gilbert(p.gilbertGoodLoss, 0.0, 99.99))
            return rc;
        if (int rc = check_gilbert(p.gilbertBadLoss, 0.01, 100.0))
            return rc;
        if (!(p.gilbertBadLoss > p.gilbertGoodLoss))
            return NUVEX_RC_GILBERT_BAD_NOT_ABOVE_GOOD;
        if (int rc = check_gilbert(p.gilbertToGood, 0.01, 99.99))
            return rc;
        if (int rc = check_gilbert(p.gilbertToBad, 0.01, 99.99))
            return rc;
        break;
    default:
        break;
    }

    static constexpr int16_t kLossType[] = {0, 1, 2, 3, 4, 6};
    b.lossType = kLossType[p.lossType];
    switch (p.lossType) {
    case 1:
        b.lossEvery = static_cast<uint16_t>(p.lossPeriod - 1);
        break;
    case 2:
        b.lossRandomly = scaled16(p.randomLoss, 100.0);
        break;
    case 3:
        b.burstChance = scaled16(p.burstChance, 100.0);
        b.burstMin = p.burstMin;
        b.burstMax = p.burstMax;
        break;
    case 5:
        b.gilbertGood = scaled16(p.gilbertGoodLoss, 100.0);
        b.gilbertBad = scaled16(p.gilbertBadLoss, 100.0);
        b.gilbertToGood = scaled16(p.gilbertToGood, 100.0);
        b.gilbertToBad = scaled16(p.gilbertToBad, 100.0);
        break;
    default:
        break;
    }
    return 0;
}

int check_gateway(const PlayParameters& p, PlayBlockValues& b) {
    for (double bw : {p.eastOutBandwidth, p.eastInBandwidth, p.westOutBandwidth, p.westInBandwidth})
        if (int rc = check_bandwidth(bw))
            return rc;
    if (p.eastBucketSize < 2 || p.westBucketSize < 2)
        return NUVEX_RC_BUCKET_SIZE;
    if (p.eastBucketMode > 1 || p.westBucketMode > 1)
        return NUVEX_RC_BUCKET_MODE;
    if (p.eastOverhead > 1000 || p.westOverhead > 1000)
        return NUVEX_RC_OVERHEAD;
    if (int rc = check_red(p.eastRedMinThreshold, p.eastRedMaxThreshold, p.eastBucketSize))
        return rc;
    if (int rc = check_red(p.westRedMinThreshold, p.westRedMaxThreshold, p.westBucketSize))
        return rc;
    if (int rc = check_percentage(p.eastOutPercentage, p.eastOutBandwidth))
        return rc;
    if (int rc = check_percentage(p.eastInPercentage, p.eastInBandwidth))
        return rc;
    if (int rc = check_percentage(p.westOutPercentage, p.westOutBandwidth))
        return rc;
    if (int rc = check_percentage(p.westInPercentage, p.westInBandwidth))
        return rc;

    b.eastOut = convert_bandwidth(p.eastOutBandwidth);
    b.eastIn = convert_bandwidth(p.eastInBandwidth);
    b.westOut = convert_bandwidth(p.westOutBandwidth);
    b.westIn = convert_bandwidth(p.westInBandwidth);
    b.eastBucketSize = p.eastBucketSize;
    b.westBucketSize = p.westBucketSize;
    b.eastOverhead = p.eastOverhead;
    b.westOverhead = p.westOverhead;
    b.eastBucketMode = p.eastBucketMode;
    b.westBucketMode = p.westBucketMode;
    b.eastRedMin = p.eastRedMinThreshold;
    b.eastRedMax = p.eastRedMaxThreshold;
    b.westRedMin = p.westRedMinThreshold;
    b.westRedMax = p.westRedMaxThreshold;
    return 0;
}

int check_out_of_order(const PlayParameters& p, PlayBlockValues& b) {
    if (p.outOfOrderChance == kOff) {
        b.outOfOrderChance = b.outOfOrderMinRange = b.outOfOrderMaxRange = 0;
        return 0;
    }
    if (p.outOfOrderChance < 1 || p.outOfOrderChance > 50)
        return NUVEX_RC_OOO_CHANCE;
    if (p.outOfOrderMaxRange > 64)
        return NUVEX_RC_OOO_MAX_RANGE;
    if (p.outOfOrderMaxRange < p.outOfOrderMinRange)
        return NUVEX_RC_OOO_MAX_BELOW_MIN;
    b.outOfOrderChance = p.outOfOrderChance;
    b.outOfOrderMinRange = p.outOfOrderMinRange;
    b.outOfOrderMaxRange = p.outOfOrderMaxRange;
    return 0;
}

int check_duplication(const PlayParameters& p, PlayBlockValues& b) {
    if (p.duplicationChance == kOff) {
        b.duplicationChance = b.duplicationMinBurst = b.duplicationMaxBurst = 0;
        return 0;
    }
    if (p.duplicationChance < 1 || p.duplicationChance > 99)
        return NUVEX_RC_DUP_CHANCE;
    if (p.duplicationMinBurst == 0)
        return NUVEX_RC_DUP_MIN;
    if (p.duplicationMaxBurst > 20)
        return NUVEX_RC_DUP_MAX;
    if (p.duplicationMaxBurst < p.duplicationMinBurst)
        return NUVEX_RC_DUP_MAX_BELOW_MIN;
    b.duplicationChance = p.duplicationChance;
    b.duplicationMinBurst = p.duplicationMinBurst;
    b.duplicationMaxBurst = p.duplicationMaxBurst;
    return 0;
}

int check_fragmentation(const PlayParameters& p, PlayBlockValues& b) {
    if (p.fragmentationChance == kOff) {
        b.fragmentationChance = b.fragmentMtu = b.fragmentOrder = 0;
        return 0;
    }
    if (p.fragmentationChance < 1 || p.fragmentationChance > 99)
        return NUVEX_RC_FRAG_CHANCE;
    if (p.fragmentSize < 64 || p.fragmentSize > 1460)
        return NUVEX_RC_FRAG_SIZE;
    if (p.fragmentOrder > 3)
        return NUVEX_RC_FRAG_ORDER;
    b.fragmentationChance = p.fragmentationChance;
    b.fragmentMtu = p.fragmentSize;
    b.fragmentOrder = p.fragmentOrder;
    return 0;
}

int check_bit_error(const PlayParameters& p, PlayBlockValues& b) {
    if (p.bitErrorChance == kOff) {
        b.bitErrorChance = 0;
        b.bitErrorMinBurst = b.bitErrorMaxBurst = 0;
        return 0;
    }
    if (p.bitErrorChance < 100 || p.bitErrorChance > 1000000000000ull)
        return NUVEX_RC_BIT_ERROR_CHANCE;
    if (p.bitErrorMaxBurst > 500)
        return NUVEX_RC_BIT_ERROR_MAX;
    if (p.bitErrorMaxBurst < p.bitErrorMinBurst)
        return NUVEX_RC_BIT_ERROR_MAX_BELOW_MIN;
    b.bitErrorChance = p.bitErrorChance;
    b.bitErrorMinBurst = p.bitErrorMinBurst;
    b.bitErrorMaxBurst = p.bitErrorMaxBurst;
    return 0;
}

int check_disconnect(const PlayParameters& p, PlayBlockValues& b) {
    if (p.disconnectChance == kOff) {
        b.disconnectChance = b.disconnectMinTime = b.disconnectMaxTime = 0;
        return 0;
    }
    if (p.disconnectChance < 3 || p.disconnectChance > 300)
        return NUVEX_RC_DISCONNECT_CHANCE;
    if (p.disconnectMinTime < 10)
        return NUVEX_RC_DISCONNECT_MIN;
    if (p.disconnectMaxTime > 30000)
        return NUVEX_RC_DISCONNECT_MAX;
    if (p.disconnectMaxTime < p.disconnectMinTime)
        return NUVEX_RC_DISCONNECT_MAX_BELOW_MIN;
    b.disconnectChance = p.disconnectChance;
    b.disconnectMinTime = p.disconnectMinTime;
    b.disconnectMaxTime = p.disconnectMaxTime;
    return 0;
}

int check_congestion(const PlayParameters& p, PlayBlockValues& b) {
    if (p.congestionChance == kOff) {
        b.congestionChance = b.congestionPeakError = b.congestionConstantDelay = 0;
        b.congestionMinDuration = b.congestionMaxDuration = 0;
        return 0;
    }
    if (p.congestionChance < 1 || p.congestionChance > 300)
        return NUVEX_RC_CONGESTION_CHANCE;
    if (p.congestionMinDuration < 10)
        return NUVEX_RC_CONGESTION_MIN;
    if (p.congestionMaxDuration < p.congestionMinDuration)
        return NUVEX_RC_CONGESTION_MAX_BELOW_MIN;
    if (p.congestionConstantDelay > 8000)
        return NUVEX_RC_CONGESTION_DELAY;
    if (!at_least(p.congestionPeakError, 0.0))
        return NUVEX_RC_CONGESTION_ERROR_BELOW;
    if (p.congestionPeakError > 90.0)
        return NUVEX_RC_CONGESTION_ERROR_ABOVE;
    b.congestionChance = p.congestionChance;
    b.congestionPeakError = scaled16(p.congestionPeakError, 100.0);
    b.congestionConstantDelay = p.congestionConstantDelay;
    b.congestionMinDuration = p.congestionMinDuration;
    b.congestionMaxDuration = p.congestionMaxDuration;
    return 0;
}

int check_filter(const PlayParameters& p, PlayBlockValues& b) {
    if (static_cast<int32_t>(p.filterCount) < 0)
        return NUVEX_RC_FILTER_COUNT_BELOW;
    if (p.filterCount > NUVEX_MAX_FILTERS)
        return NUVEX_RC_FILTER_COUNT_ABOVE;
    for (uint32_t i = 0; i < p.filterCount; ++i) {
        uint32_t address = p.filterAddresses[i];
        if (!valid_filter_address(address))
            return NUVEX_RC_FILTER_ADDRESS;
        if (p.filterMode == 0 && address == p.adapterAddress)
            return NUVEX_RC_FILTER_ADDRESS;
    }
    if (p.filterMode > 1)
        return NUVEX_RC_FILTER_MODE;
    if (p.filterMode == 1 && p.filterCount == 0)
        return NUVEX_RC_FILTER_INCLUDE_EMPTY;

    b.filterMode = p.filterMode;
    b.filterCount = p.filterCount;
    b.filters = {};
    for (uint32_t i = 0; i < p.filterCount; ++i) {
        uint32_t host = ntohl(p.filterAddresses[i]);
        b.filters[i] = FilterEntryValues{host, host, 0, 0};
    }
    return 0;
}

int check_recorded(const PlayParameters& p, PlayBlockValues& b) {
    b.delaySamples.clear();
    b.lossSamples.clear();
    if (p.sampleCount == 0) {
        // A recorded type without samples would reach the driver with nothing to play.
        if (p.latencyType == 3 || p.lossType == 4)
            return NUVEX_RC_SAMPLE_INTERVAL_BELOW;
        return 0;
    }
    if (p.sampleInterval < 100)
        return NUVEX_RC_SAMPLE_INTERVAL_BELOW;
    if (p.sampleInterval > 2000)
        return NUVEX_RC_SAMPLE_INTERVAL_ABOVE;
    if (p.sampleCount > 900000u / p.sampleInterval)
        return NUVEX_RC_SAMPLE_COUNT;
    if (p.delaySamples == nullptr)
        return NUVEX_RC_SAMPLES_MISSING;
    for (uint32_t i = 0; i < p.sampleCount; ++i) {
        if (p.delaySamples[i] > 8000)
            return NUVEX_RC_MAX_DELAY;
        if (p.lossSamples != nullptr && p.lossSamples[i] > 94)
            return NUVEX_RC_LOSS_SAMPLE;
    }

    b.sampleCount = p.sampleCount;
    b.sampleInterval = p.sampleInterval;
    if (p.recordedKind == 1)
        b.delayType = 3;
    else if (p.recordedKind == 2)
        b.delayType = 4;
    if (p.lossType == 4) {
        if (p.recordedKind == 1)
            b.lossType = 4;
        else if (p.recordedKind == 2)
            b.lossType = 5;
    }
    b.delaySamples.resize(p.sampleCount);
    b.lossSamples.assign(p.sampleCount, 0); // zero when no loss series is given
    for (uint32_t i = 0; i < p.sampleCount; ++i) {
        b.delaySamples[i] = static_cast<uint16_t>(p.delaySamples[i] & 0xFFFF);
        if (p.lossSamples != nullptr) {
            uint64_t hundredths = uint64_t{p.lossSamples[i]} * 100;
            b.lossSamples[i] = static_cast<uint16_t>(hundredths > 10000 ? 10000 : hundredths);
        }
    }
    return 0;
}

int check_and_convert(const PlayParameters& p, PlayBlockValues& b) {
    using Group = int (*)(const PlayParameters&, PlayBlockValues&);
    static constexpr Group kGroups[] = {
        check_latency,     check_loss,          check_gateway,   check_out_of_order,
        check_duplication, check_fragmentation, check_bit_error, check_disconnect,
        check_congestion,  check_filter,        check_recorded,
    };
    for (Group g : kGroups)
        if (int rc = g(p, b))
            return rc;
    return 0;
}

} // namespace altiren_api
