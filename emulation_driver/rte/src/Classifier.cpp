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

bool ipv4_matches(const uint8_t* ip, const wire::DriverPlayBlock& block) {
    const uint32_t src = wire::get_be32(ip, 12);
    const uint32_t dst = wire::get_be32(ip, 16);
    const uint32_t own = block.adapterAddress();
    if (own != 0 && own != src && own != dst)
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
                        uint16_t* headerLength) {
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
        const uint8_t* own = block.data() + wire::pb::kAdapterIpv6;
        return std::memcmp(frame + h + 8, own, 16) == 0 ||
               std::memcmp(frame + h + 24, own, 16) == 0;
    }
    if (type == kTypeIpv4) {
        if (n < size_t{h} + 20)
            return false;
        return ipv4_matches(frame + h, block);
    }
    return false;
}

void rte_set_filter_view(const RteFilterView* view) {
    state().filter = view;
}

bool rte_is_my_packet(RtePacket* packet, uint16_t* headerLength) {
    auto& s = state();
    if (!packet || !s.filter || s.filter->bypass || !s.filter->block)
        return false;
    if (packet->adapter->number != s.filter->adapterNumber ||
        packet->adapter->medium != kMedium8023)
        return false;
    return rte_classify_frame(packet->frame, packet->length, *s.filter->block, headerLength);
}

} // namespace quellin
