#include "AltirenClient/InternetChecksum.h"

#include <quellin_wire/Checksum.h>

#include <vector>

uint16_t InternetChecksum(const uint8_t* data, size_t length) {
    return quellin::wire::internet_checksum(data, length);
}

int CheckIpHeaderChecksum(const uint8_t* header, size_t length) {
    if (!header || length == 0)
        return 0;
    const size_t headerLength = (header[0] & 0x0F) * 4u;
    if (headerLength < 1 || headerLength > length || headerLength < 12)
        return 0;
    // The sum is taken over a copy with the field zeroed, so the caller's bytes stay.
    std::vector<uint8_t> copy(header, header + headerLength);
    const uint16_t stored = static_cast<uint16_t>((copy[10] << 8) | copy[11]);
    copy[10] = copy[11] = 0;
    return InternetChecksum(copy.data(), copy.size()) == stored ? 1 : 0;
}
