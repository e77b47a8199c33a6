// Work a sender left to its interface's offloads, finished as a network card would have
// before a frame goes on: a TCP or UDP checksum not yet computed (a packet socket marks
// such frames TP_STATUS_CSUMNOTREADY), and TCP and UDP packets larger than the link
// carries, to be cut into segments. Frames are Ethernet II, with up to two VLAN tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quellin::edges {

struct IpLayout {
    uint8_t version = 0;  // 4 or 6
    size_t ip = 0;        // offset of the IP header
    size_t transport = 0; // offset of the transport header, behind IPv6 extension headers
    uint8_t protocol = 0; // of the transport header (44 for an IPv6 fragment)
    bool fragment = false;
    size_t end = 0; // the IP packet's end, by its length field (padding excluded)
    // IPv6: the destination the pseudo header takes, the final one (the last address of a
    // routing header with segments left, else the header's own).
    size_t destination = 0;
};

// Where the parts of an IP frame lie; nullopt for other frames, for lengths that do not
// fit the frame and for an IPv6 routing header whose final destination cannot be read.
// Every read is bounded by `length`.
std::optional<IpLayout> ip_layout(const uint8_t* frame, size_t length);

// The sum of the pseudo header of the transport segment from `l.transport` to `l.end`.
uint32_t pseudo_header_sum(const uint8_t* frame, const IpLayout& l);
// Whether the segment's checksum verifies over its pseudo header.
bool transport_checksum_ok(const uint8_t* frame, const IpLayout& l);

// Computes the TCP or UDP checksum anew, over the pseudo header and the whole segment.
// False (and nothing changed) for any other frame or a fragment.
bool complete_checksum(uint8_t* frame, size_t length);

using FrameSink = std::function<void(const uint8_t*, size_t)>;

// Cuts a TCP packet whose IP packet is longer than `mtu` into segments that fit, each with
// its headers copied and its lengths, IPv4 identification, sequence number, flags and
// checksums set, and hands each frame to `emit` (the bytes live in `scratch`). False, with
// nothing emitted, when the frame needs no cutting or is no TCP packet that can be cut.
bool segment_tcp(const uint8_t* frame, size_t length, uint32_t mtu, std::vector<uint8_t>& scratch,
                 const FrameSink& emit);

// The same with at most `mss` payload bytes a segment, whatever the packet's length: a
// packet that fits comes out as one segment with its checksums finished. PSH and FIN stay
// on the last segment only, CWR on the first only.
bool segment_tcp_by_size(const uint8_t* frame, size_t length, size_t mss,
                         std::vector<uint8_t>& scratch, const FrameSink& emit);

// Cuts a UDP packet's payload into datagrams of at most `size` bytes, each with its own UDP
// header, length and checksum (and IPv4 identification, counting up). False, with nothing
// emitted, for a frame that is no whole UDP packet.
bool segment_udp(const uint8_t* frame, size_t length, size_t size, std::vector<uint8_t>& scratch,
                 const FrameSink& emit);

} // namespace quellin::edges
