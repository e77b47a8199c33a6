// Super-frames of a station whose TAP offloads checksums and segmentation: each frame comes
// with a virtio-net header saying what is left to do. The work is finished here, as a
// network card would finish it, so that only wire-size packets with complete checksums
// enter the engine. Nothing in the header is trusted: what does not fit the frame is
// refused.
#pragma once

#include "QuellinEdges/Offload.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quellin::edges {

// The header before each frame of a TAP opened with IFF_VNET_HDR: 10 bytes, little-endian.
struct VnetHeader {
    static constexpr size_t kSize = 10;
    // flags
    static constexpr uint8_t kNeedsChecksum = 0x01; // sum from checksumStart to the end
    static constexpr uint8_t kDataValid = 0x02;     // the checksums were verified
    // gsoType
    static constexpr uint8_t kGsoNone = 0;
    static constexpr uint8_t kGsoTcpV4 = 1;
    static constexpr uint8_t kGsoUdp = 3; // fragmentation offload, never asked for
    static constexpr uint8_t kGsoTcpV6 = 4;
    static constexpr uint8_t kGsoUdpL4 = 5; // datagrams of gsoSize, v4 or v6
    static constexpr uint8_t kGsoEcn = 0x80;

    uint8_t flags = 0;
    uint8_t gsoType = kGsoNone;
    uint16_t headerLength = 0; // a hint: the sender's linear part, headers and maybe more
    uint16_t gsoSize = 0;      // payload bytes per segment
    uint16_t checksumStart = 0;
    uint16_t checksumOffset = 0; // of the checksum field, from checksumStart

    void encode(uint8_t* out) const;
    static VnetHeader decode(const uint8_t* in);
    bool offloaded() const { return gsoType != kGsoNone || (flags & kNeedsChecksum) != 0; }
};

enum class OffloadResult {
    Whole,     // nothing was left to do: the frame was emitted as it came
    Checksum,  // its checksum was finished in place and the frame emitted
    Segmented, // cut into segments, each emitted
    Refused,   // the header does not fit the frame: nothing emitted
};

// Finishes what `header` says was left of `frame` and hands every resulting frame to
// `emit`. Segments carry gsoSize payload bytes, fewer when that would make an IP packet
// longer than `mtu` (0: no limit). Segments live in `scratch`.
OffloadResult finish_offloads(const VnetHeader& header, uint8_t* frame, size_t length, uint32_t mtu,
                              std::vector<uint8_t>& scratch, const FrameSink& emit);

} // namespace quellin::edges
