// Work a sender left to its interface's offloads, finished as a network card would have
// before a frame goes on: a TCP or UDP checksum not yet computed (a packet socket marks
// such frames TP_STATUS_CSUMNOTREADY), and a TCP packet larger than the link's MTU, to be
// cut into segments. Frames are Ethernet II, with up to two VLAN tags.
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
};

// Where the parts of an IP frame lie; nullopt for other frames and for lengths that do not
// fit the frame. Every read is bounded by `length`.
std::optional<IpLayout> ip_layout(const uint8_t* frame, size_t length);

// Computes the TCP or UDP checksum anew, over the pseudo header and the whole segment.
// False (and nothing changed) for any other frame or a fragment.
bool complete_checksum(uint8_t* frame, size_t length);

// Cuts a TCP packet whose IP packet is longer than `mtu` into segments that fit, each with
// its headers copied and its lengths, IPv4 identification, sequence number, flags and
// checksums set, and hands each frame to `emit` (the bytes live in `scratch`). False, with
// nothing emitted, when the frame needs no cutting or is no TCP packet that can be cut.
bool segment_tcp(const uint8_t* frame, size_t length, uint32_t mtu, std::vector<uint8_t>& scratch,
                 const std::function<void(const uint8_t*, size_t)>& emit);

} // namespace quellin::edges
