#include "Morrane/IP.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// One buffer per thread: callers on different threads never see each other's text.
thread_local char g_formatBuffer[16];

bool deliver(const std::string& text, char* buffer, unsigned& length) {
    if (buffer && text.size() < length) {
        std::memset(buffer, 0, length);
        std::memcpy(buffer, text.data(), text.size());
        length = static_cast<unsigned>(text.size());
        return true;
    }
    length = static_cast<unsigned>(text.size() + 1);
    return false;
}

} // namespace

const char* CIP::Format(unsigned address) {
    return Format(address, g_formatBuffer);
}

const char* CIP::Format(unsigned address, char* buffer) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address, 4);
    std::snprintf(buffer, 16, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return buffer;
}

bool CIP::ConvertStringIPToIP(const char* text, unsigned& address) {
    if (!text)
        return false;
    int parts[5];
    if (std::sscanf(text, "%d.%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3],
                    &parts[4]) != 4)
        return false;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) {
        if (parts[i] < 0 || parts[i] > 255)
            return false;
        bytes[i] = static_cast<unsigned char>(parts[i]);
    }
    std::memcpy(&address, bytes, 4);
    return true;
}

bool CIP::inet_addr(const char* text, unsigned long& address) {
    if (!text)
        return false;
    unsigned char bytes[4];
    int part = 0;
    int digits = 0;
    unsigned value = 0;
    for (const char* c = text;; ++c) {
        if (*c >= '0' && *c <= '9') {
            value = value * 10 + static_cast<unsigned>(*c - '0');
            if (++digits > 3 || value > 255)
                return false;
        } else if (*c == '.' || *c == '\0') {
            if (digits == 0 || part > 3)
                return false;
            bytes[part++] = static_cast<unsigned char>(value);
            value = 0;
            digits = 0;
            if (*c == '\0')
                break;
        } else {
            return false;
        }
    }
    if (part != 4)
        return false;
    uint32_t packed;
    std::memcpy(&packed, bytes, 4);
    address = packed;
    return true;
}

bool CIP::inet_addr(const char* text, unsigned short* words, unsigned& count) {
    if (count != 8) {
        count = 8;
        return false;
    }
    in6_addr parsed{};
    if (!text || !words || ::inet_pton(AF_INET6, text, &parsed) != 1)
        return false;
    for (int i = 0; i < 8; ++i)
        words[i] =
            static_cast<unsigned short>((parsed.s6_addr[2 * i] << 8) | parsed.s6_addr[2 * i + 1]);
    return true;
}

bool CIP::inet_ntoa(unsigned long address, char* buffer, unsigned& length) {
    char text[16];
    return deliver(Format(static_cast<unsigned>(address), text), buffer, length);
}

bool CIP::inet_ntoa(const unsigned short* words, char* buffer, unsigned& length) {
    if (!words) {
        length = 0;
        return false;
    }
    in6_addr address{};
    for (int i = 0; i < 8; ++i) {
        address.s6_addr[2 * i] = static_cast<unsigned char>(words[i] >> 8);
        address.s6_addr[2 * i + 1] = static_cast<unsigned char>(words[i] & 0xFF);
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET6, &address, text, sizeof text)) {
        length = 0;
        return false;
    }
    return deliver(text, buffer, length);
}
