#include "quellin_wire/DriverPlayBlock.h"

#include "quellin_wire/Checksum.h"

#include <algorithm>
#include <cstring>

namespace quellin::wire {

bool play_block_header_ok(const uint8_t* data, size_t length) {
    if (data == nullptr || length < pb::kFixedSize)
        return false;
    if (get_u32(data, pb::kFilterMarker) != pb::kFilterMarkerValue ||
        get_u32(data, pb::kFilterSize) != pb::kFilterSizeValue)
        return false;
    if (get_u32(data, pb::kFilterCount) > pb::kMaxFilterEntries)
        return false;
    return length == play_block_size(get_u16(data, pb::kSampleCount));
}

uint16_t check_play_block(const uint8_t* data, size_t length, uint16_t checksum) {
    if (!play_block_header_ok(data, length))
        return 6;
    return internet_checksum(data, length) == checksum ? 0 : 1;
}

DriverPlayBlock::DriverPlayBlock(uint16_t sampleCount)
    : m_bytes(play_block_size(sampleCount), 0), m_length(m_bytes.size()) {
    setFilterMarker(pb::kFilterMarkerValue);
    setFilterSize(pb::kFilterSizeValue);
    setSampleCount(sampleCount);
}

DriverPlayBlock DriverPlayBlock::from_bytes(const uint8_t* data, size_t length) {
    DriverPlayBlock b;
    b.m_bytes.assign(std::max(length, pb::kFixedSize), 0);
    if (length > 0)
        std::memcpy(b.m_bytes.data(), data, length);
    b.m_length = b.m_bytes.size();
    return b;
}

std::array<uint8_t, 16> DriverPlayBlock::adapterIpv6() const {
    std::array<uint8_t, 16> a{};
    std::memcpy(a.data(), m_bytes.data() + pb::kAdapterIpv6, a.size());
    return a;
}

void DriverPlayBlock::setAdapterIpv6(const std::array<uint8_t, 16>& address) {
    std::memcpy(m_bytes.data() + pb::kAdapterIpv6, address.data(), address.size());
}

std::string DriverPlayBlock::adapterName() const {
    const char* p = reinterpret_cast<const char*>(m_bytes.data() + pb::kAdapterName);
    return std::string(p, strnlen(p, pb::kAdapterNameSize));
}

void DriverPlayBlock::setAdapterName(const std::string& name) {
    std::memset(m_bytes.data() + pb::kAdapterName, 0, pb::kAdapterNameSize);
    std::memcpy(m_bytes.data() + pb::kAdapterName, name.data(),
                std::min(name.size(), pb::kAdapterNameSize));
}

FilterEntry DriverPlayBlock::filterEntry(size_t index) const {
    FilterEntry e;
    if (index >= pb::kMaxFilterEntries)
        return e;
    const size_t off = pb::kFilterEntries + index * pb::kFilterEntrySize;
    e.firstAddress = get_u32(m_bytes.data(), off);
    e.lastAddress = get_u32(m_bytes.data(), off + 4);
    e.firstPort = get_u16(m_bytes.data(), off + 8);
    e.lastPort = get_u16(m_bytes.data(), off + 10);
    return e;
}

void DriverPlayBlock::setFilterEntry(size_t index, const FilterEntry& entry) {
    if (index >= pb::kMaxFilterEntries)
        return;
    const size_t off = pb::kFilterEntries + index * pb::kFilterEntrySize;
    put_u32(m_bytes.data(), off, entry.firstAddress);
    put_u32(m_bytes.data(), off + 4, entry.lastAddress);
    put_u16(m_bytes.data(), off + 8, entry.firstPort);
    put_u16(m_bytes.data(), off + 10, entry.lastPort);
}

namespace {
// Offset of sample `index` in the half that starts at `half` samples into the tail, or 0
// when it lies outside the block.
size_t sample_offset(size_t count, size_t length, size_t half, size_t index) {
    if (index >= count)
        return 0;
    const size_t off = pb::kTail + 2 * (half * count + index);
    return off + 2 <= length ? off : 0;
}

// How many samples of the half that starts at `half` samples into the tail lie within
// `length`: sample_offset is not 0 for exactly these.
size_t samples_held(size_t count, size_t length, size_t half) {
    const size_t words = length > pb::kTail ? (length - pb::kTail) / 2 : 0;
    const size_t first = half * count;
    return words > first ? std::min(count, words - first) : 0;
}
} // namespace

int16_t DriverPlayBlock::delaySample(size_t index) const {
    const size_t off = sample_offset(sampleCount(), m_length, 0, index);
    return off ? static_cast<int16_t>(get_u16(m_bytes.data(), off)) : 0;
}

size_t DriverPlayBlock::delaySamplesHeld() const {
    return samples_held(sampleCount(), m_length, 0);
}

size_t DriverPlayBlock::lossSamplesHeld() const {
    return samples_held(sampleCount(), m_length, 1);
}

int16_t DriverPlayBlock::lossSample(size_t index) const {
    const size_t off = sample_offset(sampleCount(), m_length, 1, index);
    return off ? static_cast<int16_t>(get_u16(m_bytes.data(), off)) : 0;
}

void DriverPlayBlock::setDelaySample(size_t index, int16_t value) {
    const size_t off = sample_offset(sampleCount(), m_length, 0, index);
    if (off)
        put_u16(m_bytes.data(), off, static_cast<uint16_t>(value));
}

void DriverPlayBlock::setLossSample(size_t index, int16_t value) {
    const size_t off = sample_offset(sampleCount(), m_length, 1, index);
    if (off)
        put_u16(m_bytes.data(), off, static_cast<uint16_t>(value));
}

} // namespace quellin::wire
