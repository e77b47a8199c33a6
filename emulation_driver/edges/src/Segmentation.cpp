#include "QuellinEdges/Segmentation.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

namespace quellin::edges {

namespace {

constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;
constexpr size_t kLinkHeader = 14;

// What a card does with a partial checksum: the field holds the pseudo header's sum, the
// sum from `start` to the frame's end goes into it.
void finish_partial_checksum(uint8_t* frame, size_t length, size_t start, size_t field) {
    wire::put_be16(frame, field, wire::internet_checksum(frame + start, length - start));
}

} // namespace

void VnetHeader::encode(uint8_t* out) const {
    out[0] = flags;
    out[1] = gsoType;
    wire::put_u16(out, 2, headerLength);
    wire::put_u16(out, 4, gsoSize);
    wire::put_u16(out, 6, checksumStart);
    wire::put_u16(out, 8, checksumOffset);
}

VnetHeader VnetHeader::decode(const uint8_t* in) {
    VnetHeader h;
    h.flags = in[0];
    h.gsoType = in[1];
    h.headerLength = wire::get_u16(in, 2);
    h.gsoSize = wire::get_u16(in, 4);
    h.checksumStart = wire::get_u16(in, 6);
    h.checksumOffset = wire::get_u16(in, 8);
    return h;
}

OffloadResult finish_offloads(const VnetHeader& header, uint8_t* frame, size_t length, uint32_t mtu,
                              std::vector<uint8_t>& scratch, const FrameSink& emit) {
    if (!frame || header.headerLength > length)
        return OffloadResult::Refused;
    const bool partial = (header.flags & VnetHeader::kNeedsChecksum) != 0;
    const size_t start = header.checksumStart;
    const size_t field = start + header.checksumOffset;
    if (partial && (start < kLinkHeader || field + 2 > length))
        return OffloadResult::Refused;
    const uint8_t type = header.gsoType & static_cast<uint8_t>(~VnetHeader::kGsoEcn);
    if (type == VnetHeader::kGsoNone) {
        if (header.gsoType != VnetHeader::kGsoNone)
            return OffloadResult::Refused; // ECN without segmentation
        if (!partial) {
            emit(frame, length);
            return OffloadResult::Whole;
        }
        finish_partial_checksum(frame, length, start, field);
        emit(frame, length);
        return OffloadResult::Checksum;
    }

    // Segmentation: the header must describe the packet the frame holds.
    const auto l = ip_layout(frame, length);
    if (!partial || header.gsoSize == 0 || !l || l->fragment || start != l->transport)
        return OffloadResult::Refused;
    const bool tcp = type == VnetHeader::kGsoTcpV4 || type == VnetHeader::kGsoTcpV6;
    if (tcp) {
        if (l->protocol != kTcp || l->version != (type == VnetHeader::kGsoTcpV4 ? 4 : 6) ||
            header.checksumOffset != 16 || l->transport + 20 > l->end)
            return OffloadResult::Refused;
    } else if (type != VnetHeader::kGsoUdpL4 || header.gsoType != type || l->protocol != kUdp ||
               header.checksumOffset != 6 || l->transport + 8 > l->end) {
        return OffloadResult::Refused;
    }
    const size_t transportHeader =
        tcp ? static_cast<size_t>(frame[l->transport + 12] >> 4) * 4 : size_t{8};
    const size_t headers = l->transport + transportHeader;
    if (transportHeader < 8 || headers > l->end)
        return OffloadResult::Refused;
    size_t size = header.gsoSize;
    // A TCP segment never grows beyond the link; a datagram is as long as its sender made it.
    const size_t ipHeaders = headers - l->ip;
    if (tcp && mtu && ipHeaders + size > mtu) {
        if (ipHeaders >= mtu)
            return OffloadResult::Refused;
        size = mtu - ipHeaders;
    }
    size_t emitted = 0;
    const FrameSink counted = [&](const uint8_t* s, size_t n) {
        ++emitted;
        emit(s, n);
    };
    const bool cut = tcp ? segment_tcp_by_size(frame, length, size, scratch, counted)
                         : segment_udp(frame, length, size, scratch, counted);
    if (!cut)
        return OffloadResult::Refused;
    return emitted > 1 ? OffloadResult::Segmented : OffloadResult::Checksum;
}

} // namespace quellin::edges
