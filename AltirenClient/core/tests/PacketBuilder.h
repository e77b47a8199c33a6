// Captured packets as the driver writes them (76-byte records, 10-byte list entries),
// decoded into the control library's records the way the library hands them out.
#pragma once

#include <AltirenAPI.h>
#include <quellin_wire/Records.h>

#include <arpa/inet.h>

#include <array>
#include <cstring>
#include <string>

struct PacketSpec {
    uint8_t protocol = 17;
    std::string source = "198.18.0.1";
    std::string destination = "198.18.1.2";
    uint16_t sourcePort = 5000;
    uint16_t destinationPort = 7;
    uint16_t totalLength = 100;
    uint8_t tcpFlags = 0x10;
    uint8_t icmpType = 8;
    bool ipv6 = false; // UDP over IPv6 between 2001:2::1 and 2001:2::2; totalLength is the payload
};

inline std::array<uint8_t, quellin::wire::kPacketRecordSize>
WireRecord(uint32_t sequence, uint16_t side, const PacketSpec& spec) {
    quellin::wire::PacketRecord record;
    record.sequence = sequence;
    record.side = side;
    uint8_t* p = record.data.data();
    size_t transport = 20;
    if (spec.ipv6) {
        p[0] = 0x60;
        p[4] = static_cast<uint8_t>(spec.totalLength >> 8);
        p[5] = static_cast<uint8_t>(spec.totalLength);
        p[6] = 17;
        p[7] = 64;
        inet_pton(AF_INET6, "2001:2::1", p + 8);
        inet_pton(AF_INET6, "2001:2::2", p + 24);
        transport = 40;
    } else {
        p[0] = 0x45;
        p[2] = static_cast<uint8_t>(spec.totalLength >> 8);
        p[3] = static_cast<uint8_t>(spec.totalLength);
        p[8] = 64;
        p[9] = spec.protocol;
        inet_pton(AF_INET, spec.source.c_str(), p + 12);
        inet_pton(AF_INET, spec.destination.c_str(), p + 16);
    }
    uint8_t* t = p + transport;
    if (spec.protocol == 1) {
        t[0] = spec.icmpType;
    } else {
        t[0] = static_cast<uint8_t>(spec.sourcePort >> 8);
        t[1] = static_cast<uint8_t>(spec.sourcePort);
        t[2] = static_cast<uint8_t>(spec.destinationPort >> 8);
        t[3] = static_cast<uint8_t>(spec.destinationPort);
        if (spec.protocol == 6) {
            t[12] = 0x50;
            t[13] = spec.tcpFlags;
        }
    }
    std::array<uint8_t, quellin::wire::kPacketRecordSize> bytes{};
    record.encode(bytes.data());
    return bytes;
}

inline NuvexPacketRecord
RecordFromWire(const std::array<uint8_t, quellin::wire::kPacketRecordSize>& bytes) {
    auto decoded = quellin::wire::PacketRecord::decode(bytes.data());
    NuvexPacketRecord out{};
    out.sequence = decoded.sequence;
    out.side = decoded.side;
    std::memcpy(out.packet, decoded.data.data(), sizeof out.packet);
    return out;
}

inline NuvexPacketListEntry EntryFromWire(uint32_t sequence, uint16_t flags, uint32_t timeOfDay) {
    quellin::wire::PacketListEntry entry;
    entry.sequence = sequence;
    entry.flags = flags;
    entry.timeOfDayMs = timeOfDay;
    std::array<uint8_t, quellin::wire::kPacketListEntrySize> bytes{};
    entry.encode(bytes.data());
    auto decoded = quellin::wire::PacketListEntry::decode(bytes.data());
    return NuvexPacketListEntry{decoded.sequence, decoded.flags, decoded.timeOfDayMs};
}
