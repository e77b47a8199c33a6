// Standard Base64 (RFC 4648 alphabet, '=' padding) of byte buffers.
#pragma once

#include <string>
#include <vector>

class Base64Coder {
public:
    Base64Coder() = default;
    virtual ~Base64Coder() = default;

    // Encodes count bytes; the text is then read with EncodedMessage.
    void Encode(const unsigned char* data, unsigned long count);
    void Encode(const char* data, unsigned long count) {
        Encode(reinterpret_cast<const unsigned char*>(data), count);
    }
    const char* EncodedMessage() const { return m_encoded.c_str(); }

    // Decodes length characters. White space is skipped; any other character outside
    // the alphabet, or padding in the wrong place, decodes nothing.
    void Decode(const char* text, unsigned long length);
    // Null when nothing was decoded.
    const unsigned char* DecodedMessage() const;
    unsigned long GetDecodeDataSize() const { return static_cast<unsigned long>(m_decoded.size()); }

private:
    std::string m_encoded;
    std::vector<unsigned char> m_decoded;
};
