// Reads and writes at fixed offsets of a byte buffer: little-endian for the system's own
// records, big-endian (network order) for packet headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quellin::wire {

inline uint16_t get_u16(const uint8_t* p, size_t off) {
    return static_cast<uint16_t>(p[off] | (p[off + 1] << 8));
}

inline uint32_t get_u32(const uint8_t* p, size_t off) {
    return static_cast<uint32_t>(p[off]) | (static_cast<uint32_t>(p[off + 1]) << 8) |
           (static_cast<uint32_t>(p[off + 2]) << 16) | (static_cast<uint32_t>(p[off + 3]) << 24);
}

inline uint64_t get_u64(const uint8_t* p, size_t off) {
    return static_cast<uint64_t>(get_u32(p, off)) |
           (static_cast<uint64_t>(get_u32(p, off + 4)) << 32);
}

inline void put_u16(uint8_t* p, size_t off, uint16_t v) {
    p[off] = static_cast<uint8_t>(v);
    p[off + 1] = static_cast<uint8_t>(v >> 8);
}

inline void put_u32(uint8_t* p, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void put_u64(uint8_t* p, size_t off, uint64_t v) {
    put_u32(p, off, static_cast<uint32_t>(v));
    put_u32(p, off + 4, static_cast<uint32_t>(v >> 32));
}

inline uint16_t get_be16(const uint8_t* p, size_t off) {
    return static_cast<uint16_t>((p[off] << 8) | p[off + 1]);
}

inline uint32_t get_be32(const uint8_t* p, size_t off) {
    return (static_cast<uint32_t>(p[off]) << 24) | (static_cast<uint32_t>(p[off + 1]) << 16) |
           (static_cast<uint32_t>(p[off + 2]) << 8) | static_cast<uint32_t>(p[off + 3]);
}

inline void put_be16(uint8_t* p, size_t off, uint16_t v) {
    p[off] = static_cast<uint8_t>(v >> 8);
    p[off + 1] = static_cast<uint8_t>(v);
}

inline void put_be32(uint8_t* p, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[off + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

} // namespace quellin::wire
