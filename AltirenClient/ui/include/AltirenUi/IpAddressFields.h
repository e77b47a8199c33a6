// The four fields of the address control as texts, without a widget: reading them into
// an address with its count word, the check of a completed field, and the dotted form.
#pragma once

#include "AltirenClient/Prompt.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct IpAddressValue {
    std::array<uint8_t, 4> octets{};
    // 0 for a complete address, else the number (1 to 4) of the first field that is
    // empty or above 255.
    uint16_t count = 0;

    uint32_t Number() const {
        return uint32_t(octets[0]) << 24 | uint32_t(octets[1]) << 16 | uint32_t(octets[2]) << 8 |
               uint32_t(octets[3]);
    }
};

using IpFieldTexts = std::array<std::string, 4>;

// The field's value; nullopt for an empty field.
std::optional<unsigned> IpFieldValue(const std::string& text);
// Reads the fields in order, stopping at the first empty one or one above 255; with a
// prompt, that field's message is shown ("Missing value in IP address", or the 0 to 255
// message), titled "Error".
IpAddressValue ReadIpFields(const IpFieldTexts& fields, IPrompt* prompt);
// The message of a field above 255.
void TellIpFieldRange(IPrompt& prompt, unsigned value);
// "a.b.c.d" split at its dots into the four field texts (parts beyond the fourth dropped,
// missing parts empty).
IpFieldTexts SplitDotted(const std::string& text);
