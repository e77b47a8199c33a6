#include "quellin_models/PacketEffects.h"

#include "quellin_models/PacketBytes.h"
#include "quellin_models/Random.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/Records.h"

#include <algorithm>

namespace quellin::models {

namespace {
using wire::kFlagCorrupted;
using wire::kFlagDuplicateCopy;
using wire::kFlagDuplicated;
using wire::kFlagFragment;
using wire::kFlagFragmented;
using wire::kFlagTooBig;
// A bit error in the IP header loses the packet: the record's loss bit it shares with a
// disconnect.
constexpr uint16_t kHeaderLoss = wire::kFlagDisconnectLoss;

bool percent_hit(ModelRuntime& rt, uint16_t chance) {
    return chance != 0 && du_rand(rt, 1, 100) <= chance;
}
} // namespace

uint16_t du_bit_error_rate(const BitErrorParams& p, ModelRuntime& rt, const PacketView& packet,
                           ExitEffectsHost& host) {
    if (p.chance == 0 || packet.ip.empty())
        return 0;
    const uint64_t headerBits =
        (packet.ip[0] >> 4) == 6 ? 320 : static_cast<uint64_t>(packet.ip[0] & 0x0F) * 32;
    uint64_t gap = du_int64_rand(rt, 1, p.chance);
    if (gap < headerBits)
        return kHeaderLoss;

    const uint64_t frameBits = packet.frameLength * 8;
    uint64_t position = static_cast<uint64_t>(packet.linkHeaderLength) * 8;
    if (position >= frameBits || gap >= frameBits - position)
        return 0;
    bool copied = false;
    while (position < frameBits && gap < frameBits - position) {
        const uint16_t burst = du_rand(rt, p.minBurst, p.maxBurst);
        position += gap;
        if (!copied) {
            if (!host.make_private_copy())
                return 0;
            copied = true;
        }
        host.toggle_copy_bits(position, burst);
        gap = du_int64_rand(rt, 1, p.chance);
    }
    return kFlagCorrupted;
}

void du_duplicate_packet(const DuplicationParams& p, ModelRuntime& rt, uint16_t& flags,
                         ExitEffectsHost& host) {
    if (!percent_hit(rt, p.chance))
        return;
    const uint16_t n = du_rand(rt, p.minBurst, p.maxBurst);
    host.raise_wan_queue_maxima(n);
    for (uint16_t i = 0; i < n; ++i) {
        flags |= kFlagDuplicateCopy;
        host.introduce_duplicate(flags);
        flags &= static_cast<uint16_t>(~kFlagDuplicateCopy);
    }
    flags |= kFlagDuplicated;
}

namespace {

void fragment_ipv6(const FragmentationParams& p, const PacketView& packet, uint16_t& flags,
                   ExitEffectsHost& host) {
    const auto ip = packet.ip;
    if (ip.size() < 40)
        return;
    const size_t total = size_t{wire::get_be16(ip.data(), 4)} + 40;
    const uint32_t mtu = std::max<uint32_t>(p.mtu, 1280);
    if (mtu >= total || total > ip.size())
        return;
    if (p.order == 2) {
        const auto buffer = host.working_buffer(kPacketTooBigSize);
        if (buffer.size() < kPacketTooBigSize)
            return;
        build_icmpv6_packet_too_big(ip, mtu, buffer);
        host.introduce_built(buffer.first(kPacketTooBigSize), flags, true);
    }
    flags |= kFlagTooBig;
}

void fragment_ipv4(const FragmentationParams& p, const PacketView& packet, uint16_t& flags,
                   ExitEffectsHost& host) {
    const auto ip = packet.ip;
    if (ip.size() < 20)
        return;
    const size_t h = static_cast<size_t>(ip[0] & 0x0F) * 4;
    const size_t total = size_t{wire::get_be16(ip.data(), 2)};
    if (p.mtu >= total || h < 20 || h > total || total > ip.size())
        return;
    if ((flags & kFlagCorrupted) && !wire::ipv4_header_checksum_ok(ip.data(), ip.size()))
        return;

    const bool dontFragment = (wire::get_be16(ip.data(), 6) & 0x4000) != 0;
    if (dontFragment && p.order != 1) {
        if (p.order == 2) {
            const size_t size = icmp_frag_needed_size(ip);
            const auto buffer = host.working_buffer(size);
            if (buffer.size() < size)
                return;
            build_icmp_frag_needed(ip, buffer);
            host.introduce_built(buffer.first(size), flags, true);
        }
        flags |= kFlagTooBig;
        return;
    }

    const auto plan = plan_ipv4_fragments(ip, p.mtu);
    if (!plan)
        return;
    const size_t largest = std::max(ipv4_fragment_size(*plan, 0), ipv4_fragment_size(*plan, 1));
    const auto buffer = host.working_buffer(largest);
    if (buffer.size() < largest)
        return;
    for (size_t k = 0; k < plan->count; ++k) {
        const size_t size = build_ipv4_fragment(ip, *plan, k, buffer);
        flags |= kFlagFragment;
        host.introduce_built(buffer.first(size), flags, false);
        flags &= static_cast<uint16_t>(~kFlagFragment);
    }
    flags |= kFlagFragmented;
    host.raise_wan_queue_maxima(static_cast<uint32_t>(plan->count));
}

} // namespace

void du_fragmentation(const FragmentationParams& p, ModelRuntime& rt, const PacketView& packet,
                      uint16_t& flags, ExitEffectsHost& host) {
    if (!percent_hit(rt, p.chance) || packet.ip.empty())
        return;
    const uint8_t version = packet.ip[0] >> 4;
    if (version == 6)
        fragment_ipv6(p, packet, flags, host);
    else if (version == 4)
        fragment_ipv4(p, packet, flags, host);
}

} // namespace quellin::models
