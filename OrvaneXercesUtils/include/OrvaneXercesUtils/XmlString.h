// Conversion between the parser's UTF-16 strings (XMLCh) and UTF-8 text.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <string>
#include <string_view>

namespace orvane::xml {

using XString = std::basic_string<XMLCh>;

// UTF-8 to UTF-16. A byte that does not start a valid UTF-8 sequence is taken as a
// Latin-1 character, so text in the old single-byte code page survives. Null gives "".
XString ToX(std::string_view utf8);
inline XString ToX(const char* utf8) {
    return utf8 ? ToX(std::string_view(utf8)) : XString();
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD. Null gives "".
std::string ToUtf8(const XMLCh* text);
std::string ToUtf8(const XMLCh* text, size_t length);

// Reads one code point at text[i] and advances i (surrogate pairs joined).
char32_t NextCodePoint(const XMLCh* text, size_t length, size_t& i);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// True when the parser string equals the UTF-8 text exactly.
bool Equals(const XMLCh* text, const char* utf8);

} // namespace orvane::xml

// Owner of one UTF-8 string converted from a parser string (null when empty).
class CSTranscodedString {
public:
    CSTranscodedString() = default;
    explicit CSTranscodedString(const XMLCh* text);
    CSTranscodedString(const CSTranscodedString& other);
    CSTranscodedString& operator=(const CSTranscodedString& other);
    CSTranscodedString& operator=(const XMLCh* text);
    ~CSTranscodedString();

    void Release();
    const char* Get() const { return m_pText; }
    // Both are false when the holder is empty.
    bool Equals(const char* text) const;
    bool Differs(const char* text) const;

private:
    static char* Copy(const char* text);
    char* m_pText = nullptr;
};
