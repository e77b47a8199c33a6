// Byte-level packet work of the exit effects: bit flips, IPv4 fragments and the ICMP and
// ICMPv6 answers. Pure functions over byte buffers; `ip` is the packet from its IP header on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quellin::models {

// Inverts `count` bits from bit position `bit` (bit 0 is the first byte's 0x80 bit), cut at
// the end of the buffer.
void toggle_bits(std::span<uint8_t> frame, uint64_t bit, uint64_t count);

// How an IPv4 packet is cut into fragments of at most `mtu` bytes.
struct FragmentPlan {
    size_t headerLength = 0; // h, of the parent and the first fragment
    size_t laterHeader = 0;  // 20 + L, of every further fragment
    size_t dataLength = 0;   // bytes behind the parent's header
    size_t firstData = 0;    // data bytes of the first fragment
    size_t laterData = 0;    // data bytes of each further full fragment
    size_t count = 0;
    uint8_t options[40] = {}; // options copied into further fragments, zero padded to L
};

// A plan when the packet can be cut: an IPv4 header with 20 <= h <= total length <= the
// bytes present, a total length above the MTU, and data sizes that do not round down to 0.
std::optional<FragmentPlan> plan_ipv4_fragments(std::span<const uint8_t> ip, uint16_t mtu);

// Size of fragment k of the plan.
size_t ipv4_fragment_size(const FragmentPlan& plan, size_t k);
// Writes fragment k into `out` (at least ipv4_fragment_size bytes); returns its size.
size_t build_ipv4_fragment(std::span<const uint8_t> ip, const FragmentPlan& plan, size_t k,
                           std::span<uint8_t> out);

// The ICMP "fragmentation needed" answer to the IPv4 packet `ip` (valid header of h bytes):
// h + 36 bytes written to `out`; returns the size.
size_t icmp_frag_needed_size(std::span<const uint8_t> ip);
size_t build_icmp_frag_needed(std::span<const uint8_t> ip, std::span<uint8_t> out);

// The ICMPv6 "Packet Too Big" answer (96 bytes) to the IPv6 packet `ip` (at least 48 bytes).
inline constexpr size_t kPacketTooBigSize = 96;
size_t build_icmpv6_packet_too_big(std::span<const uint8_t> ip, uint32_t mtu,
                                   std::span<uint8_t> out);

} // namespace quellin::models
