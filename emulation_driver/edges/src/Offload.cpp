#include "QuellinEdges/Offload.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"

#include <algorithm>
#include <cstring>

namespace quellin::edges {

namespace {

constexpr uint16_t kVlan = 0x8100;
constexpr uint16_t kQinQ = 0x88A8;
constexpr uint8_t kTcp = 6;
constexpr uint8_t kUdp = 17;
constexpr uint8_t kFin = 0x01;
constexpr uint8_t kPsh = 0x08;
constexpr uint8_t kCwr = 0x80;
constexpr uint8_t kRouting = 43;

// The final destination a routing header at `at` names: types 0 and 2 list the addresses
// in order, a segment routing header (4) lists them from the last. Nullopt for another
// type while segments are left.
std::optional<size_t> final_destination(const uint8_t* frame, size_t at, size_t size,
                                        size_t current) {
    const uint8_t type = frame[at + 2];
    const uint8_t left = frame[at + 3];
    if (left == 0)
        return current;
    const size_t addresses = (size - 8) / 16;
    if (addresses == 0)
        return std::nullopt;
    if (type == 0 || type == 2)
        return at + 8 + 16 * (addresses - 1);
    if (type == 4)
        return at + 8;
    return std::nullopt;
}

// The checksum of a segment: the pseudo header's folded sum goes into the checksum field
// first, so one pass over the segment finishes it.
void set_transport_checksum(uint8_t* frame, const IpLayout& l, size_t field) {
    wire::put_be16(frame, l.transport + field, wire::internet_fold(pseudo_header_sum(frame, l)));
    wire::put_be16(frame, l.transport + field,
                   wire::internet_checksum(frame + l.transport, l.end - l.transport));
}

void set_ipv4_header_checksum(uint8_t* frame, const IpLayout& l) {
    const size_t header = static_cast<size_t>(frame[l.ip] & 0x0F) * 4;
    wire::put_be16(frame, l.ip + 10, 0);
    wire::put_be16(frame, l.ip + 10, wire::internet_checksum(frame + l.ip, header));
}

} // namespace

uint32_t pseudo_header_sum(const uint8_t* frame, const IpLayout& l) {
    const size_t segment = l.end - l.transport;
    if (l.version == 4)
        return wire::internet_sum(frame + l.ip + 12, 8) + l.protocol +
               static_cast<uint32_t>(segment);
    return wire::internet_sum(frame + l.ip + 8, 16) +
           wire::internet_sum(frame + l.destination, 16) + static_cast<uint32_t>(segment >> 16) +
           static_cast<uint32_t>(segment & 0xFFFF) + l.protocol;
}

bool transport_checksum_ok(const uint8_t* frame, const IpLayout& l) {
    return wire::internet_fold(wire::internet_sum(frame + l.transport, l.end - l.transport,
                                                  pseudo_header_sum(frame, l))) == 0xFFFF;
}

std::optional<IpLayout> ip_layout(const uint8_t* frame, size_t length) {
    if (!frame || length < 14)
        return std::nullopt;
    size_t off = 12;
    uint16_t type = wire::get_be16(frame, off);
    for (int tags = 0; (type == kVlan || type == kQinQ) && tags < 2; ++tags) {
        off += 4;
        if (off + 2 > length)
            return std::nullopt;
        type = wire::get_be16(frame, off);
    }
    IpLayout l;
    l.ip = off + 2;
    if (type == 0x0800) {
        if (l.ip + 20 > length || (frame[l.ip] >> 4) != 4)
            return std::nullopt;
        const size_t header = static_cast<size_t>(frame[l.ip] & 0x0F) * 4;
        const size_t total = wire::get_be16(frame, l.ip + 2);
        if (header < 20 || total < header || l.ip + total > length)
            return std::nullopt;
        l.version = 4;
        l.transport = l.ip + header;
        l.protocol = frame[l.ip + 9];
        l.fragment = (wire::get_be16(frame, l.ip + 6) & 0x3FFF) != 0;
        l.end = l.ip + total;
        return l;
    }
    if (type == 0x86DD) {
        if (l.ip + 40 > length || (frame[l.ip] >> 4) != 6)
            return std::nullopt;
        const size_t payload = wire::get_be16(frame, l.ip + 4);
        if (payload == 0 || l.ip + 40 + payload > length)
            return std::nullopt; // a jumbogram, or cut
        l.version = 6;
        l.end = l.ip + 40 + payload;
        l.destination = l.ip + 24;
        uint8_t next = frame[l.ip + 6];
        size_t at = l.ip + 40;
        // Hop-by-hop, routing and destination options headers lie before the transport.
        while ((next == 0 || next == kRouting || next == 60) && at + 8 <= l.end) {
            const size_t size = (static_cast<size_t>(frame[at + 1]) + 1) * 8;
            if (at + size > l.end)
                return std::nullopt;
            if (next == kRouting) {
                const auto final = final_destination(frame, at, size, l.destination);
                if (!final)
                    return std::nullopt;
                l.destination = *final;
            }
            next = frame[at];
            at += size;
        }
        if (next == 0 || next == kRouting || next == 60)
            return std::nullopt;
        l.transport = at;
        l.protocol = next;
        l.fragment = next == 44;
        return l;
    }
    return std::nullopt;
}

bool complete_checksum(uint8_t* frame, size_t length) {
    const auto l = ip_layout(frame, length);
    if (!l || l->fragment)
        return false;
    if (l->protocol == kTcp && l->transport + 20 <= l->end) {
        set_transport_checksum(frame, *l, 16);
        return true;
    }
    if (l->protocol == kUdp && l->transport + 8 <= l->end) {
        set_transport_checksum(frame, *l, 6);
        return true;
    }
    return false;
}

namespace {

// The IP header of one segment: its length field, a fresh IPv4 identification and header
// checksum.
void set_segment_ip(uint8_t* frame, const IpLayout& s, uint16_t id, size_t index) {
    if (s.version == 4) {
        wire::put_be16(frame, s.ip + 2, static_cast<uint16_t>(s.end - s.ip));
        wire::put_be16(frame, s.ip + 4, static_cast<uint16_t>(id + index));
        set_ipv4_header_checksum(frame, s);
    } else {
        wire::put_be16(frame, s.ip + 4, static_cast<uint16_t>(s.end - s.ip - 40));
    }
}

// Whether `l` is a TCP packet that can be cut, and where its payload starts.
bool tcp_headers(const uint8_t* frame, const IpLayout& l, size_t& headers) {
    if (l.fragment || l.protocol != kTcp || l.transport + 20 > l.end)
        return false;
    const size_t tcpHeader = static_cast<size_t>(frame[l.transport + 12] >> 4) * 4;
    headers = l.transport + tcpHeader; // link, IP and TCP headers
    return tcpHeader >= 20 && headers <= l.end;
}

void cut_tcp(const uint8_t* frame, const IpLayout& l, size_t headers, size_t mss,
             std::vector<uint8_t>& scratch, const FrameSink& emit) {
    const size_t payload = l.end - headers;
    const uint32_t seq = wire::get_be32(frame, l.transport + 4);
    const uint16_t id = l.version == 4 ? wire::get_be16(frame, l.ip + 4) : 0;
    const uint8_t flags = frame[l.transport + 13];
    scratch.resize(headers + std::min(mss, payload));
    size_t index = 0;
    size_t done = 0;
    do {
        const size_t chunk = std::min(mss, payload - done);
        std::memcpy(scratch.data(), frame, headers);
        std::memcpy(scratch.data() + headers, frame + headers + done, chunk);
        IpLayout s = l;
        s.end = headers + chunk;
        set_segment_ip(scratch.data(), s, id, index);
        wire::put_be32(scratch.data(), l.transport + 4, static_cast<uint32_t>(seq + done));
        uint8_t f = flags;
        if (done + chunk < payload)
            f &= static_cast<uint8_t>(~(kFin | kPsh));
        if (done > 0)
            f &= static_cast<uint8_t>(~kCwr);
        scratch[l.transport + 13] = f;
        set_transport_checksum(scratch.data(), s, 16);
        emit(scratch.data(), s.end);
        done += chunk;
        ++index;
    } while (done < payload);
}

} // namespace

bool segment_tcp(const uint8_t* frame, size_t length, uint32_t mtu, std::vector<uint8_t>& scratch,
                 const FrameSink& emit) {
    const auto l = ip_layout(frame, length);
    size_t headers = 0;
    if (!l || l->end - l->ip <= mtu || !tcp_headers(frame, *l, headers) || headers >= l->end ||
        headers - l->ip >= mtu)
        return false;
    cut_tcp(frame, *l, headers, mtu - (headers - l->ip), scratch, emit);
    return true;
}

bool segment_tcp_by_size(const uint8_t* frame, size_t length, size_t mss,
                         std::vector<uint8_t>& scratch, const FrameSink& emit) {
    const auto l = ip_layout(frame, length);
    size_t headers = 0;
    if (mss == 0 || !l || !tcp_headers(frame, *l, headers))
        return false;
    cut_tcp(frame, *l, headers, mss, scratch, emit);
    return true;
}

bool segment_udp(const uint8_t* frame, size_t length, size_t size, std::vector<uint8_t>& scratch,
                 const FrameSink& emit) {
    const auto l = ip_layout(frame, length);
    if (size == 0 || !l || l->fragment || l->protocol != kUdp || l->transport + 8 > l->end)
        return false;
    const size_t headers = l->transport + 8;
    const size_t payload = l->end - headers;
    const uint16_t id = l->version == 4 ? wire::get_be16(frame, l->ip + 4) : 0;
    scratch.resize(headers + std::min(size, payload));
    size_t index = 0;
    size_t done = 0;
    do {
        const size_t chunk = std::min(size, payload - done);
        std::memcpy(scratch.data(), frame, headers);
        std::memcpy(scratch.data() + headers, frame + headers + done, chunk);
        IpLayout s = *l;
        s.end = headers + chunk;
        set_segment_ip(scratch.data(), s, id, index);
        wire::put_be16(scratch.data(), l->transport + 4, static_cast<uint16_t>(8 + chunk));
        set_transport_checksum(scratch.data(), s, 6);
        emit(scratch.data(), s.end);
        done += chunk;
        ++index;
    } while (done < payload);
    return true;
}

} // namespace quellin::edges
