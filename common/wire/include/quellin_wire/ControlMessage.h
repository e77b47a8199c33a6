// The 32-byte control message to the driver and its 14-byte reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quellin::wire {

inline constexpr size_t kControlMessageSize = 32;
inline constexpr size_t kControlReplySize = 14;
inline constexpr uint16_t kProtocolVersion = 6;

// Commands of the control message.
enum class Command : uint16_t {
    Open = 1,
    Close = 2,
    Load = 3,
    Stop = 5,
    Play = 6,
    Flush = 10,
};

// Result codes at reply offset 10.
enum class CommandResult : uint16_t {
    Success = 0,
    ChecksumMismatch = 1,
    VersionTooLow = 3,
    VersionTooHigh = 4,
    BadMode = 5,
    BadPlayBlock = 6,
    SessionOpen = 7,
};

// Driver states.
enum class DriverState : uint16_t {
    Open = 1,
    Closed = 2,
    Loaded = 3,
    Stopped = 5,
    Playing = 6,
};

struct ControlMessage {
    uint16_t command = 0;
    uint16_t protocolVersion = kProtocolVersion;
    uint32_t mode = 1;
    uint32_t dataLength = 0;
    uint16_t checksum = 0;
    uint32_t dataAddress = 0;

    std::array<uint8_t, kControlMessageSize> encode() const;
    // Empty when the buffer is shorter than 32 bytes or the magic is not "BDDY01".
    static std::optional<ControlMessage> decode(const uint8_t* data, size_t length);
};

struct ControlReply {
    uint16_t driverState = 0;
    uint16_t result = 0;

    std::array<uint8_t, kControlReplySize> encode() const;
    // Empty when the buffer is shorter than 14 bytes or the magic is not "BDDY" "01".
    static std::optional<ControlReply> decode(const uint8_t* data, size_t length);
};

} // namespace quellin::wire
