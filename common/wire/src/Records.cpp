#include "quellin_wire/Records.h"

#include "quellin_wire/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace quellin::wire {

void PacketRecord::encode(uint8_t* out) const {
    put_u32(out, 0, sequence);
    put_u16(out, 4, side);
    std::memcpy(out + 6, data.data(), kPacketRecordDataSize);
    put_u16(out, 74, 0);
}

PacketRecord PacketRecord::decode(const uint8_t* in) {
    PacketRecord r;
    r.sequence = get_u32(in, 0);
    r.side = get_u16(in, 4);
    std::memcpy(r.data.data(), in + 6, kPacketRecordDataSize);
    return r;
}

void PacketListEntry::encode(uint8_t* out) const {
    put_u32(out, 0, sequence);
    put_u16(out, 4, flags);
    put_u32(out, 6, timeOfDayMs);
}

PacketListEntry PacketListEntry::decode(const uint8_t* in) {
    PacketListEntry e;
    e.sequence = get_u32(in, 0);
    e.flags = get_u16(in, 4);
    e.timeOfDayMs = get_u32(in, 6);
    return e;
}

void DriverCounters::encode(uint8_t* out) const {
    for (size_t i = 0; i < kCounterCount; ++i)
        put_u32(out, i * 4, values[i]);
}

DriverCounters DriverCounters::decode(const uint8_t* in) {
    DriverCounters c;
    for (size_t i = 0; i < kCounterCount; ++i)
        c.values[i] = get_u32(in, i * 4);
    return c;
}

std::array<uint8_t, kDriverStatusSize> DriverStatus::encode() const {
    std::array<uint8_t, kDriverStatusSize> out{};
    put_u16(out.data(), 0, protocolVersion);
    put_u16(out.data(), 2, driverState);
    put_u32(out.data(), 4, sequence);
    put_u16(out.data(), 8, capturedWaiting);
    put_u16(out.data(), 10, packetPoolFree);
    put_u16(out.data(), 12, residualPoolFree);
    counters.encode(out.data() + 16);
    return out;
}

std::optional<DriverStatus> DriverStatus::decode(const uint8_t* in, size_t length) {
    if (in == nullptr || length < kDriverStatusSize)
        return std::nullopt;
    DriverStatus s;
    s.protocolVersion = get_u16(in, 0);
    s.driverState = get_u16(in, 2);
    s.sequence = get_u32(in, 4);
    s.capturedWaiting = get_u16(in, 8);
    s.packetPoolFree = get_u16(in, 10);
    s.residualPoolFree = get_u16(in, 12);
    s.counters = DriverCounters::decode(in + 16);
    return s;
}

size_t adapter_list_size(size_t adapterCount) {
    return 2 + adapterCount * kAdapterEntrySize;
}

std::vector<uint8_t> encode_adapter_list(const std::vector<AdapterListEntry>& adapters) {
    std::vector<uint8_t> out(adapter_list_size(adapters.size()), 0);
    put_u16(out.data(), 0, static_cast<uint16_t>(adapters.size()));
    size_t off = 2;
    for (const auto& a : adapters) {
        put_u16(out.data(), off, a.number);
        const size_t n = std::min(a.name.size(), kAdapterNameField - 1);
        std::memcpy(out.data() + off + 2, a.name.data(), n);
        off += kAdapterEntrySize;
    }
    return out;
}

std::optional<std::vector<AdapterListEntry>> decode_adapter_list(const uint8_t* in, size_t length) {
    if (in == nullptr || length < 2)
        return std::nullopt;
    const size_t count = get_u16(in, 0);
    if (length < adapter_list_size(count))
        return std::nullopt;
    std::vector<AdapterListEntry> out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = in + 2 + i * kAdapterEntrySize;
        AdapterListEntry a;
        a.number = get_u16(e, 0);
        const char* name = reinterpret_cast<const char*>(e + 2);
        a.name.assign(name, strnlen(name, kAdapterNameField));
        out.push_back(std::move(a));
    }
    return out;
}

} // namespace quellin::wire
