// The payload of one UDP probe: a fixed header in little-endian order at fixed
// offsets, then a pattern derived from the sequence number so that flipped
// bits are seen.
//
//   0  u32 magic        8  u32 total (packets the sender means to send)
//   4  u32 sequence    12  u32 flow (tells runs apart)
//  16  u64 send stamp, CLOCK_REALTIME in ns (the clock of kernel receive stamps)
//  24  pattern bytes up to the payload size
#pragma once

#include <cstddef>
#include <cstdint>

namespace traffic {

constexpr uint32_t kProbeMagic = 0x50545441; // "ATTP" on the wire
constexpr std::size_t kProbeHeaderSize = 24;

struct ProbeHeader {
    uint32_t sequence = 0;
    uint32_t total = 0;
    uint32_t flow = 0;
    uint64_t stamp_ns = 0;
};

// Writes header and pattern into buf[0..size); size must be at least kProbeHeaderSize.
void encode_probe(const ProbeHeader& header, uint8_t* buf, std::size_t size);
// Rewrites only the send stamp (the sender stamps a prepared packet last).
void stamp_probe(uint8_t* buf, uint64_t stamp_ns);

enum class ProbeCheck {
    Intact,
    Corrupt, // header readable, pattern differs
    Foreign, // too short or wrong magic: not a probe, or its header was hit
};

// Reads the header and checks the pattern.
ProbeCheck decode_probe(const uint8_t* buf, std::size_t size, ProbeHeader* header);

uint8_t pattern_byte(uint32_t sequence, std::size_t offset);

} // namespace traffic
