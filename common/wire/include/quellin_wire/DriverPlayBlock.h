// The driver's play block: a fixed part of 3,272 bytes and, with recorded samples, a tail
// of 4 bytes per sample. Every field is read and written at its offset, little-endian.
#pragma once

#include "quellin_wire/ByteOrder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quellin::wire {

namespace pb {
inline constexpr size_t kFixedSize = 3272;
inline constexpr size_t kAdapterIpv6 = 12;
inline constexpr size_t kAdapterIpv6Size = 16;
inline constexpr size_t kAdapterName = 28;
inline constexpr size_t kAdapterNameSize = 20;
inline constexpr size_t kFilterEntries = 188;
inline constexpr size_t kFilterEntrySize = 12;
inline constexpr size_t kMaxFilterEntries = 256;
inline constexpr size_t kTail = kFixedSize;
inline constexpr uint32_t kFilterMarkerValue = 1;
inline constexpr uint32_t kFilterSizeValue = 3088;
inline constexpr uint32_t kUnlimitedBandwidth = 0xFFFFFFFF;
inline constexpr uint16_t kUnlimitedBucket = 0xFFFF;
inline constexpr size_t kAdapterNumber = 4;
inline constexpr size_t kAdapterAddress = 8;
inline constexpr size_t kDelayType = 48;
inline constexpr size_t kMinDelay = 50;
inline constexpr size_t kMaxDelay = 52;
inline constexpr size_t kDelayJitter = 54;
inline constexpr size_t kMaxDelayDiff = 56;
inline constexpr size_t kTimeSpanSec = 58;
inline constexpr size_t kEastOut = 60;
inline constexpr size_t kEastIn = 64;
inline constexpr size_t kWestOut = 68;
inline constexpr size_t kWestIn = 72;
inline constexpr size_t kEastBucketSize = 76;
inline constexpr size_t kWestBucketSize = 78;
inline constexpr size_t kEastOverhead = 80;
inline constexpr size_t kWestOverhead = 82;
inline constexpr size_t kLossType = 84;
inline constexpr size_t kLossEvery = 86;
inline constexpr size_t kLossRandomly = 88;
inline constexpr size_t kBurstChance = 90;
inline constexpr size_t kBurstMin = 92;
inline constexpr size_t kBurstMax = 94;
inline constexpr size_t kGilbertGood = 96;
inline constexpr size_t kGilbertBad = 98;
inline constexpr size_t kGilbertToGood = 100;
inline constexpr size_t kGilbertToBad = 102;
inline constexpr size_t kSampleCount = 104;
inline constexpr size_t kSampleInterval = 106;
inline constexpr size_t kEastBucketMode = 108;
inline constexpr size_t kWestBucketMode = 110;
inline constexpr size_t kOutOfOrderChance = 112;
inline constexpr size_t kOutOfOrderMinRange = 114;
inline constexpr size_t kOutOfOrderMaxRange = 116;
inline constexpr size_t kDuplicationChance = 118;
inline constexpr size_t kDuplicationMinBurst = 120;
inline constexpr size_t kDuplicationMaxBurst = 122;
inline constexpr size_t kBitErrorChance = 128;
inline constexpr size_t kBitErrorMinBurst = 136;
inline constexpr size_t kBitErrorMaxBurst = 138;
inline constexpr size_t kDisconnectTimeChance = 144;
inline constexpr size_t kDisconnectMinTime = 146;
inline constexpr size_t kDisconnectMaxTime = 148;
inline constexpr size_t kFragmentationChance = 150;
inline constexpr size_t kMaxTransmitionUnit = 152;
inline constexpr size_t kFragmentationOrder = 154;
inline constexpr size_t kEastMinBucketThreshold = 156;
inline constexpr size_t kWestMinBucketThreshold = 160;
inline constexpr size_t kEastMaxBucketThreshold = 164;
inline constexpr size_t kWestMaxBucketThreshold = 168;
inline constexpr size_t kFilterMarker = 172;
inline constexpr size_t kFilterSize = 176;
inline constexpr size_t kFilterMode = 180;
inline constexpr size_t kFilterCount = 184;
inline constexpr size_t kCongestionTimeChance = 3260;
inline constexpr size_t kPeakRandomError = 3262;
inline constexpr size_t kConstantDelay = 3264;
inline constexpr size_t kCongestionMinDuration = 3266;
inline constexpr size_t kCongestionMaxDuration = 3268;
} // namespace pb

struct FilterEntry {
    uint32_t firstAddress = 0; // host order
    uint32_t lastAddress = 0;
    uint16_t firstPort = 0;
    uint16_t lastPort = 0;
};

// Size a block must have for its sample count.
constexpr size_t play_block_size(uint16_t sampleCount) {
    return pb::kFixedSize + 4 * static_cast<size_t>(sampleCount);
}

// Header check of a block about to be loaded: true when it is long enough for its fixed
// part, exactly as long as its sample count asks, carries marker 1 and size 3,088, and
// counts at most 256 filter entries.
bool play_block_header_ok(const uint8_t* data, size_t length);

// Load check: 6 (bad play block) when the header check fails, 1 when the checksum of the
// whole block differs from `checksum`, else 0.
uint16_t check_play_block(const uint8_t* data, size_t length, uint16_t checksum);

class DriverPlayBlock {
public:
    // A zeroed block of the given sample count, with the filter marker and size set.
    explicit DriverPlayBlock(uint16_t sampleCount = 0);
    // A copy of raw bytes (any length; use play_block_header_ok before reading fields
    // beyond the fixed part). Shorter input is zero-padded to the fixed part.
    static DriverPlayBlock from_bytes(const uint8_t* data, size_t length);

    const uint8_t* data() const { return m_bytes.data(); }
    uint8_t* data() { return m_bytes.data(); }
    // Length of the block as loaded (at least the fixed part).
    size_t size() const { return m_length; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

    // Adapter IPv6 address, network byte order.
    std::array<uint8_t, 16> adapterIpv6() const;
    void setAdapterIpv6(const std::array<uint8_t, 16>& address);
    // Adapter service name (up to 20 bytes, not necessarily terminated).
    std::string adapterName() const;
    void setAdapterName(const std::string& name);

    // number of the bound adapter to emulate on; 0 matches none
    uint16_t adapterNumber() const { return get_u16(m_bytes.data(), pb::kAdapterNumber); }
    void setAdapterNumber(uint16_t v) { put_u16(m_bytes.data(), pb::kAdapterNumber, v); }
    // IPv4 address in host order; 0 = unknown
    uint32_t adapterAddress() const { return get_u32(m_bytes.data(), pb::kAdapterAddress); }
    void setAdapterAddress(uint32_t v) { put_u32(m_bytes.data(), pb::kAdapterAddress, v); }
    // 0 fixed, 1 normal, 2 bounded walk, 3 recorded in time, 4 recorded at random, 5 sweep
    uint16_t delayType() const { return get_u16(m_bytes.data(), pb::kDelayType); }
    void setDelayType(uint16_t v) { put_u16(m_bytes.data(), pb::kDelayType, v); }
    // ms
    uint16_t minDelay() const { return get_u16(m_bytes.data(), pb::kMinDelay); }
    void setMinDelay(uint16_t v) { put_u16(m_bytes.data(), pb::kMinDelay, v); }
    // ms
    uint16_t maxDelay() const { return get_u16(m_bytes.data(), pb::kMaxDelay); }
    void setMaxDelay(uint16_t v) { put_u16(m_bytes.data(), pb::kMaxDelay, v); }
    // ms
    uint16_t delayJitter() const { return get_u16(m_bytes.data(), pb::kDelayJitter); }
    void setDelayJitter(uint16_t v) { put_u16(m_bytes.data(), pb::kDelayJitter, v); }
    // ms; 0xFFFF for types 0 and 1
    uint16_t maxDelayDiff() const { return get_u16(m_bytes.data(), pb::kMaxDelayDiff); }
    void setMaxDelayDiff(uint16_t v) { put_u16(m_bytes.data(), pb::kMaxDelayDiff, v); }
    // s, period of the linear sweep
    uint16_t timeSpanSec() const { return get_u16(m_bytes.data(), pb::kTimeSpanSec); }
    void setTimeSpanSec(uint16_t v) { put_u16(m_bytes.data(), pb::kTimeSpanSec, v); }
    // 100 bit/s units; 0xFFFFFFFF unlimited
    uint32_t eastOut() const { return get_u32(m_bytes.data(), pb::kEastOut); }
    void setEastOut(uint32_t v) { put_u32(m_bytes.data(), pb::kEastOut, v); }
    uint32_t eastIn() const { return get_u32(m_bytes.data(), pb::kEastIn); }
    void setEastIn(uint32_t v) { put_u32(m_bytes.data(), pb::kEastIn, v); }
    uint32_t westOut() const { return get_u32(m_bytes.data(), pb::kWestOut); }
    void setWestOut(uint32_t v) { put_u32(m_bytes.data(), pb::kWestOut, v); }
    uint32_t westIn() const { return get_u32(m_bytes.data(), pb::kWestIn); }
    void setWestIn(uint32_t v) { put_u32(m_bytes.data(), pb::kWestIn, v); }
    // KB; 0xFFFF unlimited
    uint16_t eastBucketSize() const { return get_u16(m_bytes.data(), pb::kEastBucketSize); }
    void setEastBucketSize(uint16_t v) { put_u16(m_bytes.data(), pb::kEastBucketSize, v); }
    uint16_t westBucketSize() const { return get_u16(m_bytes.data(), pb::kWestBucketSize); }
    void setWestBucketSize(uint16_t v) { put_u16(m_bytes.data(), pb::kWestBucketSize, v); }
    // bytes
    uint16_t eastOverhead() const { return get_u16(m_bytes.data(), pb::kEastOverhead); }
    void setEastOverhead(uint16_t v) { put_u16(m_bytes.data(), pb::kEastOverhead, v); }
    uint16_t westOverhead() const { return get_u16(m_bytes.data(), pb::kWestOverhead); }
    void setWestOverhead(uint16_t v) { put_u16(m_bytes.data(), pb::kWestOverhead, v); }
    // 0 none, 1 periodic, 2 random, 3 burst, 4 recorded in time, 5 recorded at random, 6
    // Gilbert-Elliott
    int16_t lossType() const {
        return static_cast<int16_t>(get_u16(m_bytes.data(), pb::kLossType));
    }
    void setLossType(int16_t v) {
        put_u16(m_bytes.data(), pb::kLossType, static_cast<uint16_t>(v));
    }
    // periodic: one in (Every + 1) is lost
    uint16_t lossEvery() const { return get_u16(m_bytes.data(), pb::kLossEvery); }
    void setLossEvery(uint16_t v) { put_u16(m_bytes.data(), pb::kLossEvery, v); }
    // hundredths of a percent
    uint16_t lossRandomly() const { return get_u16(m_bytes.data(), pb::kLossRandomly); }
    void setLossRandomly(uint16_t v) { put_u16(m_bytes.data(), pb::kLossRandomly, v); }
    // hundredths of a percent
    uint16_t burstChance() const { return get_u16(m_bytes.data(), pb::kBurstChance); }
    void setBurstChance(uint16_t v) { put_u16(m_bytes.data(), pb::kBurstChance, v); }
    // packets
    uint16_t burstMin() const { return get_u16(m_bytes.data(), pb::kBurstMin); }
    void setBurstMin(uint16_t v) { put_u16(m_bytes.data(), pb::kBurstMin, v); }
    // packets
    uint16_t burstMax() const { return get_u16(m_bytes.data(), pb::kBurstMax); }
    void setBurstMax(uint16_t v) { put_u16(m_bytes.data(), pb::kBurstMax, v); }
    // hundredths of a percent
    uint16_t gilbertGood() const { return get_u16(m_bytes.data(), pb::kGilbertGood); }
    void setGilbertGood(uint16_t v) { put_u16(m_bytes.data(), pb::kGilbertGood, v); }
    uint16_t gilbertBad() const { return get_u16(m_bytes.data(), pb::kGilbertBad); }
    void setGilbertBad(uint16_t v) { put_u16(m_bytes.data(), pb::kGilbertBad, v); }
    uint16_t gilbertToGood() const { return get_u16(m_bytes.data(), pb::kGilbertToGood); }
    void setGilbertToGood(uint16_t v) { put_u16(m_bytes.data(), pb::kGilbertToGood, v); }
    uint16_t gilbertToBad() const { return get_u16(m_bytes.data(), pb::kGilbertToBad); }
    void setGilbertToBad(uint16_t v) { put_u16(m_bytes.data(), pb::kGilbertToBad, v); }
    // recorded samples in the tail
    uint16_t sampleCount() const { return get_u16(m_bytes.data(), pb::kSampleCount); }
    void setSampleCount(uint16_t v) { put_u16(m_bytes.data(), pb::kSampleCount, v); }
    // ms between samples
    uint16_t sampleInterval() const { return get_u16(m_bytes.data(), pb::kSampleInterval); }
    void setSampleInterval(uint16_t v) { put_u16(m_bytes.data(), pb::kSampleInterval, v); }
    // non-zero: every packet counts 1,500 bytes
    uint16_t eastBucketMode() const { return get_u16(m_bytes.data(), pb::kEastBucketMode); }
    void setEastBucketMode(uint16_t v) { put_u16(m_bytes.data(), pb::kEastBucketMode, v); }
    uint16_t westBucketMode() const { return get_u16(m_bytes.data(), pb::kWestBucketMode); }
    void setWestBucketMode(uint16_t v) { put_u16(m_bytes.data(), pb::kWestBucketMode, v); }
    // percent
    uint16_t outOfOrderChance() const { return get_u16(m_bytes.data(), pb::kOutOfOrderChance); }
    void setOutOfOrderChance(uint16_t v) { put_u16(m_bytes.data(), pb::kOutOfOrderChance, v); }
    // packets
    uint16_t outOfOrderMinRange() const { return get_u16(m_bytes.data(), pb::kOutOfOrderMinRange); }
    void setOutOfOrderMinRange(uint16_t v) { put_u16(m_bytes.data(), pb::kOutOfOrderMinRange, v); }
    // packets
    uint16_t outOfOrderMaxRange() const { return get_u16(m_bytes.data(), pb::kOutOfOrderMaxRange); }
    void setOutOfOrderMaxRange(uint16_t v) { put_u16(m_bytes.data(), pb::kOutOfOrderMaxRange, v); }
    // percent
    uint16_t duplicationChance() const { return get_u16(m_bytes.data(), pb::kDuplicationChance); }
    void setDuplicationChance(uint16_t v) { put_u16(m_bytes.data(), pb::kDuplicationChance, v); }
    // copies
    uint16_t duplicationMinBurst() const {
        return get_u16(m_bytes.data(), pb::kDuplicationMinBurst);
    }
    void setDuplicationMinBurst(uint16_t v) {
        put_u16(m_bytes.data(), pb::kDuplicationMinBurst, v);
    }
    // copies
    uint16_t duplicationMaxBurst() const {
        return get_u16(m_bytes.data(), pb::kDuplicationMaxBurst);
    }
    void setDuplicationMaxBurst(uint16_t v) {
        put_u16(m_bytes.data(), pb::kDuplicationMaxBurst, v);
    }
    // one error in this many bits; 0 off
    uint64_t bitErrorChance() const { return get_u64(m_bytes.data(), pb::kBitErrorChance); }
    void setBitErrorChance(uint64_t v) { put_u64(m_bytes.data(), pb::kBitErrorChance, v); }
    // bits
    uint16_t bitErrorMinBurst() const { return get_u16(m_bytes.data(), pb::kBitErrorMinBurst); }
    void setBitErrorMinBurst(uint16_t v) { put_u16(m_bytes.data(), pb::kBitErrorMinBurst, v); }
    // bits
    uint16_t bitErrorMaxBurst() const { return get_u16(m_bytes.data(), pb::kBitErrorMaxBurst); }
    void setBitErrorMaxBurst(uint16_t v) { put_u16(m_bytes.data(), pb::kBitErrorMaxBurst, v); }
    // s; 0 off
    uint16_t disconnectTimeChance() const {
        return get_u16(m_bytes.data(), pb::kDisconnectTimeChance);
    }
    void setDisconnectTimeChance(uint16_t v) {
        put_u16(m_bytes.data(), pb::kDisconnectTimeChance, v);
    }
    // ms
    uint16_t disconnectMinTime() const { return get_u16(m_bytes.data(), pb::kDisconnectMinTime); }
    void setDisconnectMinTime(uint16_t v) { put_u16(m_bytes.data(), pb::kDisconnectMinTime, v); }
    // ms
    uint16_t disconnectMaxTime() const { return get_u16(m_bytes.data(), pb::kDisconnectMaxTime); }
    void setDisconnectMaxTime(uint16_t v) { put_u16(m_bytes.data(), pb::kDisconnectMaxTime, v); }
    // percent
    uint16_t fragmentationChance() const {
        return get_u16(m_bytes.data(), pb::kFragmentationChance);
    }
    void setFragmentationChance(uint16_t v) {
        put_u16(m_bytes.data(), pb::kFragmentationChance, v);
    }
    // bytes
    uint16_t maxTransmitionUnit() const { return get_u16(m_bytes.data(), pb::kMaxTransmitionUnit); }
    void setMaxTransmitionUnit(uint16_t v) { put_u16(m_bytes.data(), pb::kMaxTransmitionUnit, v); }
    // 0 to 3
    uint16_t fragmentationOrder() const { return get_u16(m_bytes.data(), pb::kFragmentationOrder); }
    void setFragmentationOrder(uint16_t v) { put_u16(m_bytes.data(), pb::kFragmentationOrder, v); }
    // KB
    uint32_t eastMinBucketThreshold() const {
        return get_u32(m_bytes.data(), pb::kEastMinBucketThreshold);
    }
    void setEastMinBucketThreshold(uint32_t v) {
        put_u32(m_bytes.data(), pb::kEastMinBucketThreshold, v);
    }
    // KB
    uint32_t westMinBucketThreshold() const {
        return get_u32(m_bytes.data(), pb::kWestMinBucketThreshold);
    }
    void setWestMinBucketThreshold(uint32_t v) {
        put_u32(m_bytes.data(), pb::kWestMinBucketThreshold, v);
    }
    // KB
    uint32_t eastMaxBucketThreshold() const {
        return get_u32(m_bytes.data(), pb::kEastMaxBucketThreshold);
    }
    void setEastMaxBucketThreshold(uint32_t v) {
        put_u32(m_bytes.data(), pb::kEastMaxBucketThreshold, v);
    }
    // KB
    uint32_t westMaxBucketThreshold() const {
        return get_u32(m_bytes.data(), pb::kWestMaxBucketThreshold);
    }
    void setWestMaxBucketThreshold(uint32_t v) {
        put_u32(m_bytes.data(), pb::kWestMaxBucketThreshold, v);
    }
    // always 1
    uint32_t filterMarker() const { return get_u32(m_bytes.data(), pb::kFilterMarker); }
    void setFilterMarker(uint32_t v) { put_u32(m_bytes.data(), pb::kFilterMarker, v); }
    // always 3,088
    uint32_t filterSize() const { return get_u32(m_bytes.data(), pb::kFilterSize); }
    void setFilterSize(uint32_t v) { put_u32(m_bytes.data(), pb::kFilterSize, v); }
    // 1 include, 0 exclude
    uint32_t filterMode() const { return get_u32(m_bytes.data(), pb::kFilterMode); }
    void setFilterMode(uint32_t v) { put_u32(m_bytes.data(), pb::kFilterMode, v); }
    // entries in use
    uint32_t filterCount() const { return get_u32(m_bytes.data(), pb::kFilterCount); }
    void setFilterCount(uint32_t v) { put_u32(m_bytes.data(), pb::kFilterCount, v); }
    // s; 0 off
    uint16_t congestionTimeChance() const {
        return get_u16(m_bytes.data(), pb::kCongestionTimeChance);
    }
    void setCongestionTimeChance(uint16_t v) {
        put_u16(m_bytes.data(), pb::kCongestionTimeChance, v);
    }
    // hundredths of a percent
    uint16_t peakRandomError() const { return get_u16(m_bytes.data(), pb::kPeakRandomError); }
    void setPeakRandomError(uint16_t v) { put_u16(m_bytes.data(), pb::kPeakRandomError, v); }
    // ms
    uint16_t constantDelay() const { return get_u16(m_bytes.data(), pb::kConstantDelay); }
    void setConstantDelay(uint16_t v) { put_u16(m_bytes.data(), pb::kConstantDelay, v); }
    // ms
    uint16_t congestionMinDuration() const {
        return get_u16(m_bytes.data(), pb::kCongestionMinDuration);
    }
    void setCongestionMinDuration(uint16_t v) {
        put_u16(m_bytes.data(), pb::kCongestionMinDuration, v);
    }
    // ms
    uint16_t congestionMaxDuration() const {
        return get_u16(m_bytes.data(), pb::kCongestionMaxDuration);
    }
    void setCongestionMaxDuration(uint16_t v) {
        put_u16(m_bytes.data(), pb::kCongestionMaxDuration, v);
    }
    // Filter entry i (0 to 255).
    FilterEntry filterEntry(size_t index) const;
    void setFilterEntry(size_t index, const FilterEntry& entry);

    // Recorded samples of the tail, read as signed 16-bit values; index below sampleCount()
    // and within the block's length (0 otherwise).
    int16_t delaySample(size_t index) const;
    int16_t lossSample(size_t index) const;
    // How many of the first samples of each series lie within the block's length: those
    // past it read as 0, however many sampleCount() claims.
    size_t delaySamplesHeld() const;
    size_t lossSamplesHeld() const;
    void setDelaySample(size_t index, int16_t value);
    void setLossSample(size_t index, int16_t value);

private:
    std::vector<uint8_t> m_bytes; // at least kFixedSize
    size_t m_length = pb::kFixedSize;
};

} // namespace quellin::wire
