// Checksums of the packets the exit effects build, on the Internet checksum of the wire
// library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quellin::models {

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
