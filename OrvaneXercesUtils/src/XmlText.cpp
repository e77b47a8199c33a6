#include "OrvaneXercesUtils/OrvaneXercesUtils.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <locale.h>
#include <stdlib.h>

namespace orvane::xml {

namespace {

constexpr size_t kMaxNumberChars = 39;

// Copies up to 39 digits and points from the cursor; the count copied.
size_t take_number(const char** cursor, char (&buffer)[kMaxNumberChars + 1]) {
    size_t n = 0;
    const char* p = *cursor;
    while (n < kMaxNumberChars && ((*p >= '0' && *p <= '9') || *p == '.'))
        buffer[n++] = *p++;
    buffer[n] = '\0';
    *cursor = p;
    return n;
}

bool ends_name(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>';
}

} // namespace

size_t FindOpenTag(std::string_view text, std::string_view name, size_t from) {
    constexpr auto npos = std::string_view::npos;
    while ((from = text.find('<', from)) != npos) {
        std::string_view rest = text.substr(from);
        if (rest.starts_with("<!--")) {
            size_t end = text.find("-->", from + 4);
            if (end == npos)
                return npos;
            from = end + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            size_t end = text.find("]]>", from + 9);
            if (end == npos)
                return npos;
            from = end + 3;
        } else if (rest.size() > name.size() + 1 && rest.substr(1).starts_with(name) &&
                   ends_name(rest[name.size() + 1])) {
            return from;
        } else {
            ++from;
        }
    }
    return npos;
}

size_t FindTagEnd(std::string_view text, size_t from) {
    char quote = 0;
    for (size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

size_t FindCloseTag(std::string_view text, std::string_view name, size_t from) {
    const std::string pattern = "</" + std::string(name);
    while ((from = text.find(pattern, from)) != std::string_view::npos) {
        size_t after = from + pattern.size();
        if (after < text.size() && ends_name(text[after]) && text[after] != '/')
            return from;
        from = after;
    }
    return std::string_view::npos;
}

void EscapeXmlText(std::string& result, const char* text) {
    result.clear();
    if (!text)
        return;
    size_t length = std::strlen(text);
    result.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        switch (text[i]) {
        case '&':
            result += "&amp;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&apos;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            result += text[i];
        }
    }
}

bool EscapeXmlTextAscii(const std::string& text, std::string& result) {
    std::string escaped;
    EscapeXmlText(escaped, text.c_str());
    XString wide = ToX(escaped);
    result.clear();
    for (size_t i = 0; i < wide.size();) {
        char32_t cp = NextCodePoint(wide.data(), wide.size(), i);
        if (cp > 126) {
            result += "&#";
            result += std::to_string(static_cast<unsigned long>(cp));
            result += ';';
        } else {
            result += static_cast<char>(cp);
        }
    }
    return true;
}

bool ReplaceInString(std::string& text, const char* what, const char* with, bool all) {
    if (!what || !*what)
        return false;
    const size_t whatLength = std::strlen(what);
    const std::string replacement = with ? with : "";
    bool replaced = false;
    size_t at = 0;
    while ((at = text.find(what, at, whatLength)) != std::string::npos) {
        text.replace(at, whatLength, replacement);
        at += replacement.size();
        replaced = true;
        if (!all)
            break;
    }
    return replaced;
}

namespace {

// Reads the number at the cursor with `convert` (from its zero-terminated copy).
template <class Value, class Convert>
bool read_number_at(const char** cursor, Value& value, Convert convert) {
    if (!cursor || !*cursor)
        return false;
    char buffer[kMaxNumberChars + 1];
    const char* start = *cursor;
    if (take_number(cursor, buffer) == 0) {
        *cursor = start;
        return false;
    }
    value = convert(buffer);
    return true;
}

} // namespace

bool ReadIntAt(const char** cursor, int& value) {
    return read_number_at(cursor, value,
                          [](const char* text) { return static_cast<int>(TextToInt(text)); });
}

bool ReadDoubleAt(const char** cursor, double& value) {
    return read_number_at(cursor, value, [](const char* text) { return TextToDouble(text); });
}

std::string IntToText(long long value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::string DoubleToText(double value, int decimals) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                   decimals < 0 ? 0 : decimals);
    if (ec != std::errc())
        return std::string();
    return std::string(buffer, end);
}

long long TextToInt(const char* text) {
    if (!text)
        return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    long long value = 0;
    bool clamped = false;
    for (; *text >= '0' && *text <= '9'; ++text) {
        int digit = *text - '0';
        if (!clamped && value > (LLONG_MAX - digit) / 10)
            clamped = true;
        if (!clamped)
            value = value * 10 + digit;
    }
    if (clamped)
        return negative ? INT_MIN : INT_MAX;
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return value;
}

double TextToDouble(const char* text) {
    if (!text)
        return 0.0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    if (*text == '+')
        ++text;
    double value = 0.0;
    auto [end, ec] = std::from_chars(text, text + std::strlen(text), value);
    if (ec == std::errc::result_out_of_range) {
        // Overflow or underflow: the C locale's conversion gives the clamped value.
        static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        return cLocale ? strtod_l(text, nullptr, cLocale) : 0.0;
    }
    if (ec != std::errc())
        return 0.0;
    (void)end;
    return value;
}

} // namespace orvane::xml
