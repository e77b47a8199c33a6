#include "quellin_models/PacketBytes.h"

#include "quellin_models/Checksum.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

#include <algorithm>
#include <cstring>

namespace quellin::models {

namespace {

constexpr uint16_t kMoreFragments = 0x2000;

// Options of the h-byte header that every fragment carries (type with the 0x80 bit),
// zero padded to a multiple of 4; returns the padded length.
size_t copied_options(std::span<const uint8_t> header, uint8_t* out) {
    size_t n = 0;
    size_t i = 20;
    while (i < header.size()) {
        const uint8_t type = header[i];
        if (type == 0)
            break;
        size_t len = 1;
        if (type != 1) {
            if (i + 1 >= header.size() || header[i + 1] < 2)
                break; // a missing or impossible length ends the scan
            len = std::min<size_t>(header[i + 1], header.size() - i);
        }
        if (type & 0x80) {
            std::memcpy(out + n, header.data() + i, len);
            n += len;
        }
        i += len;
    }
    while (n % 4 != 0)
        out[n++] = 0;
    return n;
}

} // namespace

void toggle_bits(std::span<uint8_t> frame, uint64_t bit, uint64_t count) {
    const uint64_t total = static_cast<uint64_t>(frame.size()) * 8;
    if (bit >= total)
        return;
    const uint64_t end = std::min(total, bit + count);
    for (uint64_t b = bit; b < end; ++b)
        frame[b / 8] ^= static_cast<uint8_t>(0x80 >> (b % 8));
}

std::optional<FragmentPlan> plan_ipv4_fragments(std::span<const uint8_t> ip, uint16_t mtu) {
    if (ip.size() < 20 || (ip[0] & 0xF0) != 0x40)
        return std::nullopt;
    FragmentPlan plan;
    plan.headerLength = static_cast<size_t>(ip[0] & 0x0F) * 4;
    const size_t total = wire::get_be16(ip.data(), 2);
    if (plan.headerLength < 20 || plan.headerLength > total || total > ip.size() || mtu >= total)
        return std::nullopt;
    plan.laterHeader = 20 + copied_options(ip.first(plan.headerLength), plan.options);
    plan.dataLength = total - plan.headerLength;
    if (mtu <= plan.headerLength || mtu <= plan.laterHeader)
        return std::nullopt;
    plan.firstData = (mtu - plan.headerLength) & ~size_t{7};
    plan.laterData = (mtu - plan.laterHeader) & ~size_t{7};
    if (plan.firstData == 0 || plan.laterData == 0)
        return std::nullopt;
    const size_t rest = plan.dataLength - plan.firstData; // mtu < total: data is left
    plan.count = 1 + (rest + plan.laterData - 1) / plan.laterData;
    return plan;
}

namespace {
size_t data_position(const FragmentPlan& plan, size_t k) {
    return k == 0 ? 0 : plan.firstData + (k - 1) * plan.laterData;
}
size_t data_size(const FragmentPlan& plan, size_t k) {
    const size_t pos = data_position(plan, k);
    return std::min(k == 0 ? plan.firstData : plan.laterData, plan.dataLength - pos);
}
} // namespace

size_t ipv4_fragment_size(const FragmentPlan& plan, size_t k) {
    return (k == 0 ? plan.headerLength : plan.laterHeader) + data_size(plan, k);
}

size_t build_ipv4_fragment(std::span<const uint8_t> ip, const FragmentPlan& plan, size_t k,
                           std::span<uint8_t> out) {
    const size_t pos = data_position(plan, k);
    const size_t data = data_size(plan, k);
    size_t header;
    if (k == 0) {
        header = plan.headerLength;
        std::memcpy(out.data(), ip.data(), header);
    } else {
        header = plan.laterHeader;
        std::memcpy(out.data(), ip.data(), 20);
        std::memcpy(out.data() + 20, plan.options, header - 20);
        out[0] = static_cast<uint8_t>(0x40 | (header / 4));
    }
    std::memcpy(out.data() + header, ip.data() + plan.headerLength + pos, data);

    const uint16_t word = wire::get_be16(ip.data(), 6);
    const bool more = (word & kMoreFragments) != 0 || pos + data < plan.dataLength;
    const uint16_t offset = static_cast<uint16_t>((word & 0x1FFF) + pos / 8);
    wire::put_be16(
        out.data(), 6,
        static_cast<uint16_t>((word & 0xC000) | (more ? kMoreFragments : 0) | (offset & 0x1FFF)));
    wire::put_be16(out.data(), 2, static_cast<uint16_t>(header + data));
    ipv4_set_header_checksum(out, header);
    return header + data;
}

size_t icmp_frag_needed_size(std::span<const uint8_t> ip) {
    return static_cast<size_t>(ip[0] & 0x0F) * 4 + 36;
}

size_t build_icmp_frag_needed(std::span<const uint8_t> ip, std::span<uint8_t> out) {
    const size_t h = static_cast<size_t>(ip[0] & 0x0F) * 4;
    const size_t size = h + 36;
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size), uint8_t{0});
    out[0] = 0x45;
    wire::put_be16(out.data(), 2, static_cast<uint16_t>(size));
    out[4] = ip[4];
    out[5] = ip[5];
    out[8] = 255;
    out[9] = 1;
    std::memcpy(out.data() + 12, ip.data() + 16, 4);
    std::memcpy(out.data() + 16, ip.data() + 12, 4);
    ipv4_set_header_checksum(out, 20);

    const auto icmp = out.subspan(20, size - 20);
    icmp[0] = 3;
    icmp[1] = 4;
    const size_t total = wire::get_be16(ip.data(), 2);
    const size_t quoted = h + std::min<size_t>(8, total > h ? total - h : 0);
    std::memcpy(icmp.data() + 8, ip.data(), std::min(quoted, ip.size()));
    const uint16_t c = wire::internet_checksum(icmp.data(), icmp.size());
    wire::put_be16(icmp.data(), 2, c);
    return size;
}

size_t build_icmpv6_packet_too_big(std::span<const uint8_t> ip, uint32_t mtu,
                                   std::span<uint8_t> out) {
    std::fill(out.begin(), out.begin() + kPacketTooBigSize, uint8_t{0});
    std::memcpy(out.data(), ip.data(), 4);
    wire::put_be16(out.data(), 4, 56);
    out[6] = 58;
    out[7] = 255;
    std::memcpy(out.data() + 8, ip.data() + 24, 16);
    std::memcpy(out.data() + 24, ip.data() + 8, 16);

    const auto msg = out.subspan(40, 56);
    msg[0] = 2;
    msg[1] = 0;
    wire::put_be32(msg.data(), 4, mtu);
    std::memcpy(msg.data() + 8, ip.data(), 48);
    const uint16_t c =
        in6_checksum_impl(out.data() + 8, out.data() + 24, msg[0], msg[1], out[6], 56, msg);
    wire::put_be16(msg.data(), 2, c);
    return kPacketTooBigSize;
}

} // namespace quellin::models
