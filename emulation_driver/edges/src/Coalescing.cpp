#include "QuellinEdges/Coalescing.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

#include <cstring>

namespace quellin::edges {

namespace {

constexpr uint8_t kTcp = 6;
constexpr uint8_t kPsh = 0x08;
constexpr uint8_t kAck = 0x10;
constexpr uint8_t kDontFragment = 0x40;

bool same(const uint8_t* a, const uint8_t* b, size_t from, size_t to) {
    return std::memcmp(a + from, b + from, to - from) == 0;
}

// A plain TCP segment with payload that may join a run: no IP options or extension
// headers, not a fragment, no flag but ACK and PSH, and checksums that verify.
bool candidate(const uint8_t* f, size_t n, IpLayout& l, size_t& headers) {
    const auto layout = ip_layout(f, n);
    if (!layout || layout->fragment || layout->protocol != kTcp)
        return false;
    l = *layout;
    if (l.transport != l.ip + (l.version == 4 ? 20 : 40) || l.transport + 20 > l.end)
        return false;
    headers = l.transport + static_cast<size_t>(f[l.transport + 12] >> 4) * 4;
    if (headers < l.transport + 20 || headers >= l.end)
        return false;
    if ((f[l.transport + 13] & static_cast<uint8_t>(~kPsh)) != kAck)
        return false;
    if (l.version == 4 && !wire::ipv4_header_checksum_ok(f + l.ip, l.end - l.ip))
        return false;
    return transport_checksum_ok(f, l);
}

} // namespace

bool Coalescer::joins(const uint8_t* f, const IpLayout& l, size_t headers, size_t payload) const {
    const uint8_t* h = m_frame.data();
    const size_t ip = l.ip;
    const size_t t = l.transport;
    if (m_closed || l.version != m_layout.version || ip != m_layout.ip || headers != m_headers ||
        payload > m_segmentSize || m_frame.size() + payload - ip > kMaxIpLength ||
        !same(f, h, 0, ip))
        return false;
    if (l.version == 4) {
        // Version, header length and class; flags, time to live and protocol; addresses.
        if (!same(f, h, ip, ip + 2) || !same(f, h, ip + 6, ip + 10) ||
            !same(f, h, ip + 12, ip + 20))
            return false;
        const uint16_t id = wire::get_be16(f, ip + 4);
        if ((f[ip + 6] & kDontFragment) == 0 && id != static_cast<uint16_t>(m_lastId + 1))
            return false;
    } else if (!same(f, h, ip, ip + 4) || !same(f, h, ip + 6, ip + 40)) {
        return false;
    }
    // Ports; acknowledgement, header length and window; urgent pointer and options.
    return same(f, h, t, t + 4) && same(f, h, t + 8, t + 13) && same(f, h, t + 14, t + 16) &&
           same(f, h, t + 18, headers) && wire::get_be32(f, t + 4) == m_nextSequence;
}

void Coalescer::add(const uint8_t* frame, size_t length, const Writer& write) {
    IpLayout l;
    size_t headers = 0;
    if (!candidate(frame, length, l, headers)) {
        flush(write);
        write(VnetHeader{}, frame, length, 1);
        return;
    }
    const size_t payload = l.end - headers;
    const bool pushed = (frame[l.transport + 13] & kPsh) != 0;
    if (m_segments == 0 || !joins(frame, l, headers, payload)) {
        flush(write);
        m_frame.assign(frame, frame + l.end);
        m_layout = l;
        m_headers = headers;
        m_segmentSize = payload;
        m_segments = 1;
    } else {
        m_frame.insert(m_frame.end(), frame + headers, frame + l.end);
        m_frame[l.transport + 13] |= frame[l.transport + 13] & kPsh;
        ++m_segments;
    }
    m_nextSequence = wire::get_be32(frame, l.transport + 4) + static_cast<uint32_t>(payload);
    m_lastId = l.version == 4 ? wire::get_be16(frame, l.ip + 4) : 0;
    m_closed = pushed || payload < m_segmentSize;
}

void Coalescer::flush(const Writer& write) {
    if (m_segments == 0)
        return;
    VnetHeader header;
    if (m_segments > 1) {
        uint8_t* f = m_frame.data();
        IpLayout s = m_layout;
        s.end = m_frame.size();
        if (s.version == 4) {
            wire::put_be16(f, s.ip + 2, static_cast<uint16_t>(s.end - s.ip));
            wire::put_be16(f, s.ip + 10, 0);
            wire::put_be16(f, s.ip + 10, wire::internet_checksum(f + s.ip, 20));
        } else {
            wire::put_be16(f, s.ip + 4, static_cast<uint16_t>(s.end - s.ip - 40));
        }
        // Left for the station to finish, as a card hands over what it coalesced.
        wire::put_be16(f, s.transport + 16, wire::internet_fold(pseudo_header_sum(f, s)));
        header.flags = VnetHeader::kNeedsChecksum;
        header.gsoType = s.version == 4 ? VnetHeader::kGsoTcpV4 : VnetHeader::kGsoTcpV6;
        header.gsoSize = static_cast<uint16_t>(m_segmentSize);
        header.headerLength = static_cast<uint16_t>(m_headers);
        header.checksumStart = static_cast<uint16_t>(s.transport);
        header.checksumOffset = 16;
    }
    const size_t segments = m_segments;
    m_segments = 0;
    m_closed = false;
    write(header, m_frame.data(), m_frame.size(), segments);
}

} // namespace quellin::edges
