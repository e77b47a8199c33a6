// Numbers from the text values of a scenario document, read as atoi / _atoi64 / atof
// read them (leading blanks, a sign, digits; anything else ends the number, no number
// gives 0), but refusing a value that its field cannot hold instead of wrapping it or
// converting it undefinedly.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace textnum {

inline long long Whole(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

inline bool ToU16(const std::string& text, uint16_t& out) {
    const long long v = Whole(text);
    if (v < 0 || v > 0xFFFF)
        return false;
    out = static_cast<uint16_t>(v);
    return true;
}

inline bool ToU32(const std::string& text, uint32_t& out) {
    const long long v = Whole(text);
    if (v < 0 || v > 0xFFFFFFFFLL)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

inline bool ToU64(const std::string& text, uint64_t& out) {
    const long long v = Whole(text);
    if (v < 0)
        return false;
    out = static_cast<uint64_t>(v);
    return true;
}

inline bool ToDouble(const std::string& text, double& out) {
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v))
        return false;
    out = v;
    return true;
}

// A double cut to a whole number of a 16-bit field.
inline bool CutToU16(double v, uint16_t& out) {
    if (!std::isfinite(v) || v < 0 || v >= 65536.0)
        return false;
    out = static_cast<uint16_t>(v);
    return true;
}

inline bool TextCutToU16(const std::string& text, uint16_t& out) {
    double v = 0;
    return ToDouble(text, v) && CutToU16(v, out);
}

} // namespace textnum
