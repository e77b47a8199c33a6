#include "OrvaneUtils/Base64Coder.h"

#include <cstdint>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void Base64Coder::Encode(const unsigned char* data, unsigned long count) {
    m_encoded.clear();
    if (!data)
        return;
    m_encoded.reserve((count + 2) / 3 * 4);
    unsigned long i = 0;
    for (; i + 3 <= count; i += 3) {
        uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        m_encoded += kAlphabet[(v >> 18) & 63];
        m_encoded += kAlphabet[(v >> 12) & 63];
        m_encoded += kAlphabet[(v >> 6) & 63];
        m_encoded += kAlphabet[v & 63];
    }
    unsigned long rest = count - i;
    if (rest == 1) {
        uint32_t v = uint32_t(data[i]) << 16;
        m_encoded += kAlphabet[(v >> 18) & 63];
        m_encoded += kAlphabet[(v >> 12) & 63];
        m_encoded += "==";
    } else if (rest == 2) {
        uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        m_encoded += kAlphabet[(v >> 18) & 63];
        m_encoded += kAlphabet[(v >> 12) & 63];
        m_encoded += kAlphabet[(v >> 6) & 63];
        m_encoded += '=';
    }
}

void Base64Coder::Decode(const char* text, unsigned long length) {
    m_decoded.clear();
    if (!text)
        return;
    std::vector<unsigned char> out;
    out.reserve(length / 4 * 3 + 3);
    uint32_t acc = 0;
    int sextets = 0;
    int padding = 0;
    for (unsigned long i = 0; i < length; ++i) {
        char c = text[i];
        if (IsSpace(c))
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        int s = SextetOf(c);
        if (s < 0 || padding > 0)
            return; // foreign character, or data after padding
        acc = (acc << 6) | uint32_t(s);
        if (++sextets == 4) {
            out.push_back(uint8_t(acc >> 16));
            out.push_back(uint8_t(acc >> 8));
            out.push_back(uint8_t(acc));
            acc = 0;
            sextets = 0;
        }
    }
    // A final group of 2 or 3 sextets carries 1 or 2 bytes; a lone sextet is damage.
    if (sextets == 1 || padding > 2)
        return;
    if (sextets == 2) {
        out.push_back(uint8_t(acc >> 4));
    } else if (sextets == 3) {
        out.push_back(uint8_t(acc >> 10));
        out.push_back(uint8_t(acc >> 2));
    } else if (padding > 0) {
        return; // padding after a complete group
    }
    m_decoded.swap(out);
}

const unsigned char* Base64Coder::DecodedMessage() const {
    return m_decoded.empty() ? nullptr : m_decoded.data();
}
