// Read-only decoding of the captured bytes of one packet (from its IP header on) for
// display: addresses, ports, protocol texts. Every read stays within the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace altiren_api::packet {

constexpr size_t kCapturedBytes = 68;
constexpr size_t kProtocolTextSize = 40;

using Bytes = std::span<const uint8_t>;

// High nibble of the first byte (0 for an empty span).
int ip_version(Bytes p);

// Walks the IPv6 next-header chain for `wanted`; the offset of its header when it is
// reached and min(its header length, cap) bytes of it were captured (cap 0: reaching it
// is enough).
std::optional<size_t> ipv6_find(Bytes p, uint8_t wanted, size_t cap);

// IPv4 protocol byte; for IPv6 the first of TCP, UDP, ICMPv6 the chain reaches, else 41.
uint8_t protocol_number(Bytes p);

// Offset of the IPv4 upper-layer header (IHL × 4) when `need` bytes of it were
// captured.
std::optional<size_t> ipv4_upper_header(Bytes p, size_t need);

bool non_first_fragment(Bytes p);

// Protocol text, at most 39 characters; nullopt for a packet of another version.
std::optional<std::string> protocol_text(Bytes p);

std::string ipv4_address_text(const uint8_t* address);
std::string ipv6_address_text(const uint8_t* address);

// Source or destination address text; nullopt for a packet of another version.
std::optional<std::string> address_text(Bytes p, bool source);

// TCP or UDP port in host order; 0 for other protocols, non-first fragments and ports
// that were not captured.
uint16_t port(Bytes p, bool source);

// IPv4 total length; IPv6 payload length + 40; 0 otherwise.
uint32_t packet_size(Bytes p);

// True when an IPv4 header is shorter than 20 bytes or its checksum does not verify;
// false for every other packet.
bool header_checksum_fails(Bytes p);

} // namespace altiren_api::packet
