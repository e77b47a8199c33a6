#include "AltirenClient/InternetChecksum.h"

#include <AltirenChecksum/InternetChecksum.h>

uint16_t InternetChecksum(const uint8_t* data, size_t length) {
    return altiren::internet_checksum(data, length);
}

int CheckIpHeaderChecksum(const uint8_t* header, size_t length) {
    if (!header || length == 0)
        return 0;
    return altiren::ipv4_header_checksum_ok(header, length) ? 1 : 0;
}
