#include "quellin_wire/Checksum.h"

namespace quellin::wire {

uint16_t internet_checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (i < length)
        sum += static_cast<uint32_t>(data[i]) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum += sum >> 16;
    const auto result = static_cast<uint16_t>(~sum & 0xFFFF);
    return result == 0 ? 0xFFFF : result;
}

} // namespace quellin::wire
