// The Internet checksum: the one routine behind the control messages and the play block,
// the headers the driver builds and checks, the control library's packet texts, the
// client and the registry store's layout mark.
#pragma once

#include <cstddef>
#include <cstdint>

namespace altiren {

// `sum` plus the ones' complement sum of the bytes read as 16-bit big-endian words (an odd
// last byte counts as byte << 8), folded to 16 bits: what internet_fold() makes of the
// result is the fold of `sum` and every word. Pseudo-headers are summed by starting from
// their words.
uint32_t internet_sum(const uint8_t* data, size_t length, uint32_t sum = 0);

// A 32-bit sum folded into 16 bits: low half plus high half, then the carry once more.
uint16_t internet_fold(uint32_t sum);

// Complement of the folded sum of the bytes; a result of 0 is given as 0xFFFF.
uint16_t internet_checksum(const uint8_t* data, size_t length);

// Whether the IPv4 header at the start of `ip` carries a checksum that verifies. The header
// length is the low four bits of the first byte times 4; one below 20, or beyond `length`,
// does not verify. The stored field is left out of the sum and compared with its
// complement; when that complement is 0, a stored 0x0000 verifies as well as 0xFFFF (the
// same value in ones' complement).
bool ipv4_header_checksum_ok(const uint8_t* ip, size_t length);

} // namespace altiren
