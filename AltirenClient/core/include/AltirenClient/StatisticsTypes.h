// Records of the client's per-connection traffic statistics.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One connection (source, destination, protocol) in the current second.
struct ConnectionStatistics {
    uint32_t framesLastSecond = 0;
    uint32_t totalFrames = 0;
    uint32_t bytesLastSecond = 0;
    uint32_t totalBytes = 0;
    std::string sourceAddress;
    uint16_t sourcePort = 0; // 0 for protocols without ports
    std::string destinationAddress;
    uint16_t destinationPort = 0;
    std::string protocol; // normalised: "TCP", "ICMP" or the library's text
    uint32_t protocolNumber = 0;
    uint32_t timeStamp = 0; // ms in the packet time base: the second last brought up to date
};

// Connection records keyed by ConnectionKey.
using StatisticsMap = std::map<std::string, ConnectionStatistics>;

// A connection as the statistics windows name it.
struct StatisticsParam {
    std::string sourceAddress;
    uint16_t sourcePort = 0;
    std::string destinationAddress;
    uint16_t destinationPort = 0;
    std::string protocol;
    std::string text1; // not read by the statistics manager
    std::string text2;
};

// One second of one connection's history.
struct HistoryPoint {
    uint32_t framesLastSecond = 0;
    uint32_t totalFrames = 0;
    uint32_t bytesLastSecond = 0;
    uint32_t totalBytes = 0;
    std::string timeText; // "%02d:%02d:%02d"
};

class IStatisticsConsumer {
public:
    virtual ~IStatisticsConsumer() = default;
    // All statistics were dropped.
    virtual void OnClearStatisticsBuffer() = 0;
};

// Source address, source port, destination address, destination port and protocol run
// together without separators.
std::string ConnectionKey(const std::string& sourceAddress, uint16_t sourcePort,
                          const std::string& destinationAddress, uint16_t destinationPort,
                          const std::string& protocol);
// "TCP..." is "TCP", "ICMP..." is "ICMP", anything else stays.
std::string NormaliseProtocolName(const std::string& text);
// A time of day in ms as "%02d:%02d:%02d" (hours modulo 24).
std::string FormatStatisticsTime(uint32_t ms);

// The name of a connection's graph window: "%s_%d_%s_%d_%s" of the destination address,
// destination port, source address, source port and protocol name.
std::string GraphWindowKey(const StatisticsParam& param);
// The connection a graph window's name describes: the first four "_"-separated pieces
// are the destination address and port and the source address and port, the text
// after the last "_" the protocol name. Missing pieces stay empty (ports 0).
StatisticsParam StringIdToStatisticsParam(const std::string& key);
