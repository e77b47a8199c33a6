#include "AltirenChecksum/InternetChecksum.h"

#include <bit>
#include <cstring>

namespace altiren {

namespace {
constexpr size_t kIpv4ChecksumOffset = 10;
constexpr size_t kIpv4MinHeader = 20;
} // namespace

uint32_t internet_sum(const uint8_t* data, size_t length, uint32_t sum) {
    // Four bytes at a time in the machine's order (a loop the compiler vectorises): a ones'
    // complement sum does not depend on the byte order of its words, so the folded sum is
    // swapped to big-endian once at the end (RFC 1071). No carry is lost below 2^34 bytes.
    uint64_t acc = 0;
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        uint32_t w;
        std::memcpy(&w, data + i, sizeof w);
        acc += w;
    }
    for (; i + 2 <= length; i += 2) {
        uint16_t w;
        std::memcpy(&w, data + i, sizeof w);
        acc += w;
    }
    if (i < length) {
        // An odd last byte is the first of its word: byte << 8 big-endian.
        const uint16_t w = std::endian::native == std::endian::little
                               ? data[i]
                               : static_cast<uint16_t>(data[i] << 8);
        acc += w;
    }
    while (acc >> 16)
        acc = (acc & 0xFFFF) + (acc >> 16);
    auto folded = static_cast<uint16_t>(acc);
    if constexpr (std::endian::native == std::endian::little)
        folded = static_cast<uint16_t>((folded >> 8) | (folded << 8));
    return sum + folded;
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
    const auto stored =
        static_cast<uint16_t>((ip[kIpv4ChecksumOffset] << 8) | ip[kIpv4ChecksumOffset + 1]);
    if (computed == 0)
        return stored == 0 || stored == 0xFFFF;
    return computed == stored;
}

} // namespace altiren
