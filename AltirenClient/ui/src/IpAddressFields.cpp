#include "AltirenUi/IpAddressFields.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <cctype>

namespace {
constexpr UINT kBoxFlags = MB_OK | MB_ICONEXCLAMATION;
} // namespace

std::optional<unsigned> IpFieldValue(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || value > 999)
            return 1000; // beyond any field
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

void TellIpFieldRange(IPrompt& prompt, unsigned value) {
    prompt.MessageBox(FormatClientString(IDS_IP_FIELD_RANGE, static_cast<int>(value)),
                      LoadClientString(IDS_IP_ERROR_CAPTION), kBoxFlags);
}

IpAddressValue ReadIpFields(const IpFieldTexts& fields, IPrompt* prompt) {
    IpAddressValue address;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::optional<unsigned> value = IpFieldValue(fields[i]);
        if (!value || *value > 255) {
            address.count = static_cast<uint16_t>(i + 1);
            if (prompt && !value)
                ShowClientMessage(*prompt, IDS_IP_MISSING_VALUE, IDS_IP_ERROR_CAPTION, kBoxFlags);
            else if (prompt)
                TellIpFieldRange(*prompt, *value);
            return address;
        }
        address.octets[i] = static_cast<uint8_t>(*value);
    }
    return address;
}

IpFieldTexts SplitDotted(const std::string& text) {
    IpFieldTexts fields;
    size_t start = 0;
    for (size_t i = 0; i < fields.size() && start <= text.size(); ++i) {
        const size_t dot = text.find('.', start);
        fields[i] = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return fields;
}
