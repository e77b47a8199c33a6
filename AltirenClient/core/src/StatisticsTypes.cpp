#include "AltirenClient/StatisticsTypes.h"

#include <cstdio>

std::string ConnectionKey(const std::string& sourceAddress, uint16_t sourcePort,
                          const std::string& destinationAddress, uint16_t destinationPort,
                          const std::string& protocol) {
    return sourceAddress + std::to_string(sourcePort) + destinationAddress +
           std::to_string(destinationPort) + protocol;
}

std::string NormaliseProtocolName(const std::string& text) {
    if (text.compare(0, 3, "TCP") == 0)
        return "TCP";
    if (text.compare(0, 4, "ICMP") == 0)
        return "ICMP";
    return text;
}

std::string FormatStatisticsTime(uint32_t ms) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u", ms / 3600000u % 24u, ms / 60000u % 60u,
                  ms / 1000u % 60u);
    return text;
}
