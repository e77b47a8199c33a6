// A cursor over a fuzzer's input: fixed-size numbers and byte runs taken from the front.
// Once the bytes run out every read gives zero or an empty run, so a target never has to
// check before it reads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    uint8_t u8() { return empty() ? 0 : m_data[m_pos++]; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    bool flag() { return (u8() & 1) != 0; }

    // Up to `count` bytes (fewer at the end of the input).
    std::span<const uint8_t> bytes(size_t count) {
        const size_t n = std::min(count, remaining());
        std::span<const uint8_t> run(m_data + m_pos, n);
        m_pos += n;
        return run;
    }
    // Everything left.
    std::span<const uint8_t> rest() { return bytes(remaining()); }
    std::string text(size_t count) {
        auto run = bytes(count);
        return std::string(run.begin(), run.end());
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Ends the run with a message: a broken property is a finding like a crash.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

} // namespace fuzz
