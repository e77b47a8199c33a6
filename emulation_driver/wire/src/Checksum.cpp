#include "quellin_wire/Checksum.h"

#include "quellin_wire/ByteOrder.h"

namespace quellin::wire {

namespace {
constexpr size_t kIpv4ChecksumOffset = 10;
constexpr size_t kIpv4MinHeader = 20;
} // namespace

uint32_t internet_sum(const uint8_t* data, size_t length, uint32_t sum) {
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum += get_be16(data, i);
    if (i < length)
        sum += static_cast<uint32_t>(data[i]) << 8;
    return sum;
}

uint16_t internet_fold(uint32_t sum) {
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum += sum >> 16;
    return static_cast<uint16_t>(sum);
}

uint16_t internet_checksum(const uint8_t* data, size_t length) {
    const auto result = static_cast<uint16_t>(~internet_fold(internet_sum(data, length)));
    return result == 0 ? 0xFFFF : result;
}

bool ipv4_header_checksum_ok(const uint8_t* ip, size_t length) {
    if (ip == nullptr || length == 0)
        return false;
    const size_t h = static_cast<size_t>(ip[0] & 0x0F) * 4;
    if (h < kIpv4MinHeader || h > length)
        return false;
    uint32_t sum = internet_sum(ip, kIpv4ChecksumOffset);
    sum = internet_sum(ip + kIpv4ChecksumOffset + 2, h - kIpv4ChecksumOffset - 2, sum);
    const auto computed = static_cast<uint16_t>(~internet_fold(sum));
    const uint16_t stored = get_be16(ip, kIpv4ChecksumOffset);
    if (computed == 0)
        return stored == 0 || stored == 0xFFFF;
    return computed == stored;
}

} // namespace quellin::wire
