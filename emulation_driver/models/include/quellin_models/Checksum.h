// Checksums of the packets the exit effects build and check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quellin::models {

// Internet checksum: big-endian 16-bit words (an odd last byte is the high byte of a word),
// summed in 32 bits, folded twice, complemented; 0 is given as 0xFFFF.
uint16_t internet_checksum(std::span<const uint8_t> data);

// 1 when the IPv4 header at the start of `ip` carries a checksum that verifies. The header
// length comes from the low four bits of the first byte; a header length below 20 or one that
// runs past `ip` does not verify. Where the checksum comes out as the complement of zero,
// a stored 0x0000 verifies as well as 0xFFFF.
bool ipv4_header_checksum_ok(std::span<const uint8_t> ip);

// Writes the IPv4 header checksum (bytes 10-11) of the h-byte header at the start of `ip`.
void ipv4_set_header_checksum(std::span<uint8_t> ip, size_t headerLength);

// ICMPv6 checksum over the IPv6 pseudo-header and the message: source and destination
// (16 bytes each, network order), the upper-layer length, the next header, the word
// type * 256 + code, then `message` from its byte 4 on. Summed in ones'-complement
// arithmetic; the result is the complement, to be stored big-endian.
uint16_t in6_checksum_impl(const uint8_t* source, const uint8_t* destination, uint8_t type,
                           uint8_t code, uint8_t nextHeader, uint32_t upperLayerLength,
                           std::span<const uint8_t> message);

} // namespace quellin::models
