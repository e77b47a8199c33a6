// Checks of the caller's play parameters and their conversion into the values of the
// driver's play block, group by group. The first failing check gives its result code.
#pragma once

#include "AltirenAPI.h"

#include <array>
#include <cstdint>
#include <vector>

namespace altiren_api {

struct FilterEntryValues {
    uint32_t firstAddress = 0; // host order
    uint32_t lastAddress = 0;
    uint16_t firstPort = 0;
    uint16_t lastPort = 0;
};

// The play block's fields by meaning, in the block's units. The block writer lays them
// out; nothing here knows an offset.
struct PlayBlockValues {
    uint16_t adapterNumber = 1;
    uint32_t adapterAddress = 0; // host order
    std::array<uint8_t, 16> adapterIpv6{};
    std::array<char, 20> adapterName{};

    uint16_t delayType = 0;
    uint16_t minDelay = 0;
    uint16_t maxDelay = 0;
    uint16_t delayJitter = 0;
    uint16_t maxDelayDiff = 0;
    uint16_t timeSpanSec = 0;

    uint32_t eastOut = 0; // units of 100 bit/s
    uint32_t eastIn = 0;
    uint32_t westOut = 0;
    uint32_t westIn = 0;
    uint16_t eastBucketSize = 0xFFFF;
    uint16_t westBucketSize = 0xFFFF;
    uint16_t eastOverhead = 0;
    uint16_t westOverhead = 0;
    uint16_t eastBucketMode = 1;
    uint16_t westBucketMode = 1;
    uint32_t eastRedMin = 0;
    uint32_t westRedMin = 0;
    uint32_t eastRedMax = 0;
    uint32_t westRedMax = 0;

    int16_t lossType = 0;
    uint16_t lossEvery = 0;
    uint16_t lossRandomly = 0; // hundredths of a percent
    uint16_t burstChance = 0;
    uint16_t burstMin = 0;
    uint16_t burstMax = 0;
    uint16_t gilbertGood = 0;
    uint16_t gilbertBad = 0;
    uint16_t gilbertToGood = 0;
    uint16_t gilbertToBad = 0;

    uint16_t sampleCount = 0;
    uint16_t sampleInterval = 0;

    uint16_t outOfOrderChance = 0;
    uint16_t outOfOrderMinRange = 0;
    uint16_t outOfOrderMaxRange = 0;
    uint16_t duplicationChance = 0;
    uint16_t duplicationMinBurst = 0;
    uint16_t duplicationMaxBurst = 0;
    uint64_t bitErrorChance = 0;
    uint16_t bitErrorMinBurst = 0;
    uint16_t bitErrorMaxBurst = 0;
    uint16_t disconnectChance = 0;
    uint16_t disconnectMinTime = 0;
    uint16_t disconnectMaxTime = 0;
    uint16_t fragmentationChance = 0;
    uint16_t fragmentMtu = 0;
    uint16_t fragmentOrder = 0;

    uint32_t filterMode = 0;
    uint32_t filterCount = 0;
    std::array<FilterEntryValues, NUVEX_MAX_FILTERS> filters{};

    uint16_t congestionChance = 0;
    uint16_t congestionPeakError = 0; // hundredths of a percent
    uint16_t congestionConstantDelay = 0;
    uint16_t congestionMinDuration = 0;
    uint16_t congestionMaxDuration = 0;

    // Tail: present when sampleCount is not 0, both halves sampleCount long.
    std::vector<uint16_t> delaySamples;
    std::vector<uint16_t> lossSamples;
};

// value × scale truncated, after a guard against binary fractions just below a whole
// number (0.29 × 100 is 28.999...).
uint32_t scaled_truncate(double value, double scale);

// Each group checks its fields and, when they pass, writes its part of the block.
int check_latency(const PlayParameters& p, PlayBlockValues& b);
int check_loss(const PlayParameters& p, PlayBlockValues& b);
int check_gateway(const PlayParameters& p, PlayBlockValues& b);
int check_out_of_order(const PlayParameters& p, PlayBlockValues& b);
int check_duplication(const PlayParameters& p, PlayBlockValues& b);
int check_fragmentation(const PlayParameters& p, PlayBlockValues& b);
int check_bit_error(const PlayParameters& p, PlayBlockValues& b);
int check_disconnect(const PlayParameters& p, PlayBlockValues& b);
int check_congestion(const PlayParameters& p, PlayBlockValues& b);
int check_filter(const PlayParameters& p, PlayBlockValues& b);
int check_recorded(const PlayParameters& p, PlayBlockValues& b);

// Every group after the adapter choice, in order; the block's adapter fields are left as
// they are. 0 when everything passed.
int check_and_convert(const PlayParameters& p, PlayBlockValues& b);

} // namespace altiren_api
