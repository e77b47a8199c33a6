#include "AltirenClient/InternetChecksum.h"

#include <quellin_wire/Checksum.h>

uint16_t InternetChecksum(const uint8_t* data, size_t length) {
    return quellin::wire::internet_checksum(data, length);
}

int CheckIpHeaderChecksum(const uint8_t* header, size_t length) {
    if (!header || length == 0)
        return 0;
    return quellin::wire::ipv4_header_checksum_ok(header, length) ? 1 : 0;
}
