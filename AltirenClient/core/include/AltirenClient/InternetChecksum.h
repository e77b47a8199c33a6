// The client's Internet checksum and IPv4 header check: the wire library's routine, the
// one the driver and the control library use.
#pragma once

#include <cstddef>
#include <cstdint>

// Big-endian 16-bit words (an odd last byte is a word's high byte), summed, folded and
// complemented; 0 is given as 0xFFFF.
uint16_t InternetChecksum(const uint8_t* data, size_t length);

// 1 when the checksum field of the IPv4 header at the start of header (length bytes in
// all) matches its header, else 0; 0 also for a header length below 20 bytes or one that
// runs past length. The header is left as it was.
int CheckIpHeaderChecksum(const uint8_t* header, size_t length);
