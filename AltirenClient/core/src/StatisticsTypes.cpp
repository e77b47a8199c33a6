#include "AltirenClient/StatisticsTypes.h"

#include <cstdio>
#include <cstdlib>

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

std::string GraphWindowKey(const StatisticsParam& param) {
    return param.destinationAddress + "_" + std::to_string(param.destinationPort) + "_" +
           param.sourceAddress + "_" + std::to_string(param.sourcePort) + "_" + param.protocol;
}

StatisticsParam StringIdToStatisticsParam(const std::string& key) {
    std::string pieces[4];
    size_t start = 0;
    for (std::string& piece : pieces) {
        const size_t end = key.find('_', start);
        piece = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) {
            start = key.size();
            break;
        }
        start = end + 1;
    }
    StatisticsParam param;
    param.destinationAddress = pieces[0];
    param.destinationPort = static_cast<uint16_t>(std::atoi(pieces[1].c_str()));
    param.sourceAddress = pieces[2];
    param.sourcePort = static_cast<uint16_t>(std::atoi(pieces[3].c_str()));
    const size_t last = key.rfind('_');
    if (last != std::string::npos)
        param.protocol = key.substr(last + 1);
    return param;
}
