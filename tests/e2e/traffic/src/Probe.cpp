#include "Traffic/Probe.h"

namespace traffic {

namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

uint64_t get64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

uint8_t pattern_byte(uint32_t sequence, std::size_t offset) {
    return static_cast<uint8_t>(sequence * 31u + static_cast<uint32_t>(offset) * 7u + 0x5au);
}

void encode_probe(const ProbeHeader& header, uint8_t* buf, std::size_t size) {
    put32(buf + 0, kProbeMagic);
    put32(buf + 4, header.sequence);
    put32(buf + 8, header.total);
    put32(buf + 12, header.flow);
    put64(buf + 16, header.stamp_ns);
    for (std::size_t i = kProbeHeaderSize; i < size; ++i)
        buf[i] = pattern_byte(header.sequence, i);
}

void stamp_probe(uint8_t* buf, uint64_t stamp_ns) {
    put64(buf + 16, stamp_ns);
}

ProbeCheck decode_probe(const uint8_t* buf, std::size_t size, ProbeHeader* header) {
    if (size < kProbeHeaderSize || get32(buf) != kProbeMagic)
        return ProbeCheck::Foreign;
    ProbeHeader h;
    h.sequence = get32(buf + 4);
    h.total = get32(buf + 8);
    h.flow = get32(buf + 12);
    h.stamp_ns = get64(buf + 16);
    if (header)
        *header = h;
    for (std::size_t i = kProbeHeaderSize; i < size; ++i)
        if (buf[i] != pattern_byte(h.sequence, i))
            return ProbeCheck::Corrupt;
    return ProbeCheck::Intact;
}

} // namespace traffic
