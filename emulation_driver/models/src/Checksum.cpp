#include "quellin_models/Checksum.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

namespace quellin::models {

void ipv4_set_header_checksum(std::span<uint8_t> ip, size_t headerLength) {
    ip[10] = 0;
    ip[11] = 0;
    wire::put_be16(ip.data(), 10, wire::internet_checksum(ip.data(), headerLength));
}

uint16_t in6_checksum_impl(const uint8_t* source, const uint8_t* destination, uint8_t type,
                           uint8_t code, uint8_t nextHeader, uint32_t upperLayerLength,
                           std::span<const uint8_t> message) {
    uint32_t sum = wire::internet_sum(source, 16);
    sum = wire::internet_sum(destination, 16, sum);
    sum += (upperLayerLength & 0xFFFF) + (upperLayerLength >> 16);
    sum += nextHeader;
    sum += static_cast<uint32_t>(type) * 256 + code;
    if (message.size() > 4)
        sum = wire::internet_sum(message.data() + 4, message.size() - 4, sum);
    return static_cast<uint16_t>(~wire::internet_fold(sum));
}

} // namespace quellin::models
