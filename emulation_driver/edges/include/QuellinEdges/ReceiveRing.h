// The walk over a TPACKET_V3 receive ring: `blockCount` blocks of `blockSize` bytes, each a
// block descriptor and the frames the kernel put in it. The bytes are the mapped ring or,
// in tests, a plain buffer. Nothing the kernel wrote is trusted: a frame that would reach
// beyond its block, or a block whose first frame lies outside it, ends the block, which is
// handed back whole. A block goes back to the kernel as soon as its last frame was read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quellin::edges {

struct RingFrame {
    uint8_t* data = nullptr; // the link header onwards, inside the ring
    size_t length = 0;       // bytes captured
    size_t wireLength = 0;   // the frame's length on the link
    uint32_t status = 0;     // tp_status: TP_STATUS_CSUMNOTREADY, TP_STATUS_VLAN_VALID, ...
    uint16_t vlanTci = 0;
    uint16_t vlanTpid = 0;
};

class ReceiveRing {
public:
    enum class Next {
        Frame,   // a whole frame in `frame`
        Refused, // a frame longer than `frameLimit`, or cut by the ring: wireLength tells
        Corrupt, // a block held an offset out of bounds; the block was handed back
        Empty,   // the block under the walk is still the kernel's
    };

    ReceiveRing(uint8_t* base, size_t blockSize, size_t blockCount, size_t frameLimit);

    // The next frame; only valid until the next call of next() or release_read().
    Next next(RingFrame& frame);
    // Hands back the block under the walk when every frame of it was read.
    void release_read();

    size_t block() const { return m_block; }

private:
    uint8_t* block_at(size_t index) const { return m_base + index * m_blockSize; }
    void hand_back();

    uint8_t* m_base;
    size_t m_blockSize;
    size_t m_blockCount;
    size_t m_frameLimit;
    size_t m_block = 0;
    bool m_open = false; // the block under the walk is the user's and being read
    uint32_t m_left = 0; // frames of it not read yet
    size_t m_offset = 0; // of its next frame
};

} // namespace quellin::edges
