#include "OrvaneXercesUtils/XmlString.h"

#include <cstring>

namespace orvane::xml {

namespace {

// Length of a valid UTF-8 sequence at s[i] and its code point; 0 when invalid.
size_t decode_utf8(std::string_view s, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    size_t n;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

XString ToX(std::string_view utf8) {
    XString out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t n = decode_utf8(utf8, i, cp);
        if (n == 0) {
            cp = static_cast<unsigned char>(utf8[i]);
            n = 1;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<XMLCh>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<XMLCh>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<XMLCh>(cp));
        }
    }
    return out;
}

char32_t NextCodePoint(const XMLCh* text, size_t length, size_t& i) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < length && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
            return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
        return 0xFFFD;
    }
    if (c >= 0xDC00 && c <= 0xDFFF)
        return 0xFFFD;
    return c;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ToUtf8(const XMLCh* text, size_t length) {
    std::string out;
    if (!text)
        return out;
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        char32_t cp = NextCodePoint(text, length, i);
        if (cp < 0x80)
            out += static_cast<char>(cp);
        else
            AppendUtf8(out, cp);
    }
    return out;
}

std::string ToUtf8(const XMLCh* text) {
    if (!text)
        return std::string();
    size_t length = 0;
    while (text[length])
        ++length;
    return ToUtf8(text, length);
}

bool Equals(const XMLCh* text, const char* utf8) {
    if (!text || !utf8)
        return false;
    return ToUtf8(text) == utf8;
}

} // namespace orvane::xml

CSTranscodedString::CSTranscodedString(const XMLCh* text) {
    if (text)
        m_pText = Copy(orvane::xml::ToUtf8(text).c_str());
}

CSTranscodedString::CSTranscodedString(const CSTranscodedString& other)
    : m_pText(Copy(other.m_pText)) {}

CSTranscodedString& CSTranscodedString::operator=(const CSTranscodedString& other) {
    if (this != &other) {
        char* copy = Copy(other.m_pText);
        delete[] m_pText;
        m_pText = copy;
    }
    return *this;
}

CSTranscodedString& CSTranscodedString::operator=(const XMLCh* text) {
    Release();
    if (text)
        m_pText = Copy(orvane::xml::ToUtf8(text).c_str());
    return *this;
}

CSTranscodedString::~CSTranscodedString() {
    delete[] m_pText;
}

void CSTranscodedString::Release() {
    delete[] m_pText;
    m_pText = nullptr;
}

bool CSTranscodedString::Equals(const char* text) const {
    return m_pText && text && std::strcmp(m_pText, text) == 0;
}

bool CSTranscodedString::Differs(const char* text) const {
    return m_pText && text && std::strcmp(m_pText, text) != 0;
}

char* CSTranscodedString::Copy(const char* text) {
    if (!text)
        return nullptr;
    size_t n = std::strlen(text) + 1;
    char* out = new char[n];
    std::memcpy(out, text, n);
    return out;
}
