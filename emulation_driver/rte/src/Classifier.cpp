#include "RteState.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <algorithm>
#include <cstring>

namespace quellin {

using detail::state;

namespace {
constexpr size_t kClassifyWindow = 62;
constexpr uint16_t kTypeIpv4 = 0x0800;
constexpr uint16_t kTypeIpv6 = 0x86DD;

template <class T>
bool holds(const std::vector<T>& list, const T& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The block's address, or any other the station holds beside it.
template <class T>
bool station_match(const T& own, const T& src, const T& dst, const std::vector<T>* station) {
    if (own == src || own == dst)
        return true;
    return station && holds(*station, own) && (holds(*station, src) || holds(*station, dst));
}

bool ipv4_matches(const uint8_t* ip, const wire::DriverPlayBlock& block,
                  const RteAdapter* station) {
    const uint32_t src = wire::get_be32(ip, 12);
    const uint32_t dst = wire::get_be32(ip, 16);
    const uint32_t own = block.adapterAddress();
    if (own != 0 && !station_match(own, src, dst, station ? &station->stationV4 : nullptr))
        return false;
    const uint32_t count = std::min<uint32_t>(block.filterCount(), wire::pb::kMaxFilterEntries);
    if (count == 0)
        return true;
    const uint32_t mode = block.filterMode();
    for (uint32_t i = 0; i < count; ++i) {
        const auto e = block.filterEntry(i);
        const bool srcIn = src >= e.firstAddress && src <= e.lastAddress;
        const bool dstIn = dst >= e.firstAddress && dst <= e.lastAddress;
        if (srcIn || dstIn)
            return mode == 1;
    }
    return mode == 0;
}
} // namespace

bool rte_classify_frame(const uint8_t* frame, size_t length, const wire::DriverPlayBlock& block,
                        uint16_t* headerLength, const RteAdapter* station) {
    const size_t n = std::min(length, kClassifyWindow);
    if (frame == nullptr || n < 14)
        return false;
    uint16_t h = 14;
    uint16_t type = wire::get_be16(frame, 12);
    if (type < 1501) {
        if (n < 22)
            return false;
        h = 22;
        type = wire::get_be16(frame, 20);
    }
    if (headerLength)
        *headerLength = h;
    if (type == kTypeIpv6) {
        if (n < size_t{h} + 40)
            return false;
        std::array<uint8_t, 16> own, src, dst;
        std::memcpy(own.data(), block.data() + wire::pb::kAdapterIpv6, 16);
        std::memcpy(src.data(), frame + h + 8, 16);
        std::memcpy(dst.data(), frame + h + 24, 16);
        return station_match(own, src, dst, station ? &station->stationV6 : nullptr);
    }
    if (type == kTypeIpv4) {
        if (n < size_t{h} + 20)
            return false;
        return ipv4_matches(frame + h, block, station);
    }
    return false;
}

void rte_set_filter_view(const RteFilterView* view) {
    state().filter = view;
}

void rte_set_station_addresses(RteAdapter* adapter, const std::vector<uint32_t>& ipv4,
                               const std::vector<std::array<uint8_t, 16>>& ipv6) {
    if (!adapter)
        return;
    adapter->stationV4 = ipv4;
    adapter->stationV6 = ipv6;
}

bool rte_is_my_packet(RtePacket* packet, uint16_t* headerLength) {
    auto& s = state();
    if (!packet || !s.filter || s.filter->bypass || !s.filter->block)
        return false;
    if (packet->adapter->number != s.filter->adapterNumber ||
        packet->adapter->medium != kMedium8023)
        return false;
    return rte_classify_frame(packet->frame, packet->length, *s.filter->block, headerLength,
                              packet->adapter);
}

} // namespace quellin
