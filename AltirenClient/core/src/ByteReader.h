// Bounds-checked little-endian reader over a byte buffer: every read past the end throws
// and leaves the position where it was.
#pragma once

#include "AltirenClient/WstLayout.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

class CByteReader {
public:
    struct Overrun : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    CByteReader(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}

    size_t Remaining() const { return m_nSize - m_nPos; }

    const uint8_t* Take(size_t n) {
        if (n > Remaining())
            throw Overrun("read past the end of the file");
        const uint8_t* p = m_pData + m_nPos;
        m_nPos += n;
        return p;
    }
    uint8_t U8() { return *Take(1); }
    uint16_t U16() { return wst::GetU16(Take(2)); }
    uint32_t U32() { return wst::GetU32(Take(4)); }
    float F32() { return wst::GetF32(Take(4)); }

    // The archive's string: u8 length, 0xFF then u16, 0xFFFF then u32.
    std::string String() {
        uint32_t n = U8();
        if (n == 0xFF) {
            n = U16();
            if (n == 0xFFFF)
                n = U32();
        }
        const uint8_t* p = Take(n);
        return std::string(reinterpret_cast<const char*>(p), n);
    }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};
