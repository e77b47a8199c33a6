#include "quellin_models/Checksum.h"

#include "quellin_wire/ByteOrder.h"

namespace quellin::models {

uint16_t internet_checksum(std::span<const uint8_t> data) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += wire::get_be16(data.data(), i);
    if (i < data.size())
        sum += static_cast<uint32_t>(data[i] << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum += sum >> 16;
    const uint16_t result = static_cast<uint16_t>(~sum);
    return result == 0 ? 0xFFFF : result;
}

bool ipv4_header_checksum_ok(std::span<const uint8_t> ip) {
    if (ip.empty())
        return false;
    const size_t h = static_cast<size_t>(ip[0] & 0x0F) * 4;
    if (h < 20 || h > ip.size())
        return false;
    uint32_t sum = 0;
    for (size_t i = 0; i < h; i += 2) {
        if (i == 10)
            continue;
        sum += wire::get_be16(ip.data(), i);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum += sum >> 16;
    const uint16_t computed = static_cast<uint16_t>(~sum);
    const uint16_t stored = wire::get_be16(ip.data(), 10);
    // A complement of zero may be stored as 0x0000 or 0xFFFF: the same value in ones'
    // complement, and both verify.
    if (computed == 0)
        return stored == 0 || stored == 0xFFFF;
    return computed == stored;
}

void ipv4_set_header_checksum(std::span<uint8_t> ip, size_t headerLength) {
    ip[10] = 0;
    ip[11] = 0;
    const uint16_t c = internet_checksum(ip.first(headerLength));
    wire::put_be16(ip.data(), 10, c);
}

namespace {
uint32_t ones_add(uint32_t sum, uint32_t word) {
    sum += word;
    if (sum > 0xFFFF)
        sum -= 0xFFFF;
    return sum;
}
} // namespace

uint16_t in6_checksum_impl(const uint8_t* source, const uint8_t* destination, uint8_t type,
                           uint8_t code, uint8_t nextHeader, uint32_t upperLayerLength,
                           std::span<const uint8_t> message) {
    uint32_t sum = 0;
    for (int i = 0; i < 16; i += 2) {
        sum = ones_add(sum, wire::get_be16(source, i));
        sum = ones_add(sum, wire::get_be16(destination, i));
    }
    sum = ones_add(sum, upperLayerLength & 0xFFFF);
    sum = ones_add(sum, upperLayerLength >> 16);
    sum = ones_add(sum, nextHeader);
    sum = ones_add(sum, static_cast<uint32_t>(type) * 256 + code);
    if (message.size() > 4) {
        const auto body = message.subspan(4);
        size_t i = 0;
        for (; i + 1 < body.size(); i += 2)
            sum = ones_add(sum, wire::get_be16(body.data(), i));
        if (i < body.size())
            sum = ones_add(sum, static_cast<uint32_t>(body[i] << 8));
    }
    return static_cast<uint16_t>(~sum);
}

} // namespace quellin::models
