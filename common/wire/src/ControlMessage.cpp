#include "quellin_wire/ControlMessage.h"

#include "quellin_wire/ByteOrder.h"

#include <cstring>

namespace quellin::wire {

namespace {
constexpr char kMagic[] = "BDDY01";
} // namespace

std::array<uint8_t, kControlMessageSize> ControlMessage::encode() const {
    std::array<uint8_t, kControlMessageSize> out{};
    std::memcpy(out.data(), kMagic, 6);
    put_u16(out.data(), 6, command);
    put_u16(out.data(), 8, protocolVersion);
    put_u32(out.data(), 16, mode);
    put_u32(out.data(), 20, dataLength);
    put_u16(out.data(), 24, checksum);
    put_u32(out.data(), 28, dataAddress);
    return out;
}

std::optional<ControlMessage> ControlMessage::decode(const uint8_t* data, size_t length) {
    if (data == nullptr || length < kControlMessageSize || std::memcmp(data, kMagic, 6) != 0)
        return std::nullopt;
    ControlMessage m;
    m.command = get_u16(data, 6);
    m.protocolVersion = get_u16(data, 8);
    m.mode = get_u32(data, 16);
    m.dataLength = get_u32(data, 20);
    m.checksum = get_u16(data, 24);
    m.dataAddress = get_u32(data, 28);
    return m;
}

std::array<uint8_t, kControlReplySize> ControlReply::encode() const {
    std::array<uint8_t, kControlReplySize> out{};
    std::memcpy(out.data(), kMagic, 6);
    put_u16(out.data(), 6, driverState);
    put_u16(out.data(), 10, result);
    return out;
}

std::optional<ControlReply> ControlReply::decode(const uint8_t* data, size_t length) {
    if (data == nullptr || length < kControlReplySize || std::memcmp(data, kMagic, 6) != 0)
        return std::nullopt;
    ControlReply r;
    r.driverState = get_u16(data, 6);
    r.result = get_u16(data, 10);
    return r;
}

} // namespace quellin::wire
