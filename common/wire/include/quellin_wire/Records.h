// Records the driver hands to user mode: captured packets, packet-list entries, queue
// counters, the status record and the adapter list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quellin::wire {

// Per-packet flags, as kept in the per-packet record and written to packet-list entries.
inline constexpr uint16_t kFlagLost = 0x01;
inline constexpr uint16_t kFlagCorrupted = 0x02;
inline constexpr uint16_t kFlagHeld = 0x04;
inline constexpr uint16_t kFlagDuplicateCopy = 0x08;
inline constexpr uint16_t kFlagDuplicated = 0x10;
inline constexpr uint16_t kFlagFragmented = 0x20;
inline constexpr uint16_t kFlagFragment = 0x40;
inline constexpr uint16_t kFlagBucketDrop = 0x80;
inline constexpr uint16_t kFlagDisconnectLoss = 0x100;
inline constexpr uint16_t kFlagTooBig = 0x200;
// Any of these means the packet is dropped at the exit gateway.
inline constexpr uint16_t kDroppedMask = 0x3A1;

inline constexpr size_t kPacketRecordSize = 76;
inline constexpr size_t kPacketRecordDataSize = 68;
inline constexpr size_t kPacketListEntrySize = 10;
inline constexpr size_t kCounterCount = 19;
inline constexpr size_t kDriverCountersSize = kCounterCount * 4;
inline constexpr size_t kDriverStatusSize = 92;
inline constexpr size_t kAdapterEntrySize = 130;
inline constexpr size_t kAdapterNameField = 128;

// One packet that left an exit gateway: side 0 outbound (West), 1 inbound (East).
struct PacketRecord {
    uint32_t sequence = 0;
    uint16_t side = 0;
    std::array<uint8_t, kPacketRecordDataSize> data{};

    void encode(uint8_t* out) const; // writes kPacketRecordSize bytes
    static PacketRecord decode(const uint8_t* in);
};

struct PacketListEntry {
    uint32_t sequence = 0;
    uint16_t flags = 0;
    uint32_t timeOfDayMs = 0;

    void encode(uint8_t* out) const; // writes kPacketListEntrySize bytes
    static PacketListEntry decode(const uint8_t* in);
};

// Indexes into DriverCounters::values.
enum CounterIndex : size_t {
    kCtrBucketFillSecond = 0, // + bucket (0 East, 1 West)
    kCtrBucketFillMax = 2,    // + bucket
    kCtrBucketDropSecond = 4, // + bucket
    kCtrBucketDropPeak = 6,   // + bucket
    kCtrBucketDropTotal = 8,  // + bucket
    kCtrWanPackets = 10,
    kCtrEastQueued = 11,
    kCtrWestQueued = 12,
    kCtrQueueMaxSecond = 13, // + (0 WAN, 1 East, 2 West)
    kCtrQueueMaxTotal = 16,  // + (0 WAN, 1 East, 2 West)
};

struct DriverCounters {
    std::array<uint32_t, kCounterCount> values{};

    void encode(uint8_t* out) const; // writes kDriverCountersSize bytes
    static DriverCounters decode(const uint8_t* in);
};

struct DriverStatus {
    uint16_t protocolVersion = 6;
    uint16_t driverState = 0;
    uint32_t sequence = 0;
    uint16_t capturedWaiting = 0;
    uint16_t packetPoolFree = 0;
    uint16_t residualPoolFree = 0;
    DriverCounters counters;

    std::array<uint8_t, kDriverStatusSize> encode() const;
    static std::optional<DriverStatus> decode(const uint8_t* in, size_t length);
};

struct AdapterListEntry {
    uint16_t number = 0;
    std::string name;
};

// u16 count, then 130 bytes per adapter: u16 number and a 128-byte zero-terminated name
// (names of 128 characters or more are cut to 127).
std::vector<uint8_t> encode_adapter_list(const std::vector<AdapterListEntry>& adapters);
size_t adapter_list_size(size_t adapterCount);
// Empty when the buffer is shorter than its count says.
std::optional<std::vector<AdapterListEntry>> decode_adapter_list(const uint8_t* in, size_t length);

} // namespace quellin::wire
