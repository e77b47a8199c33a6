// The walk over a TPACKET_V2 receive ring: `frameCount` slots of `frameSize` bytes laid
// end to end, each a frame header and the frame the kernel put there. The bytes are the
// mapped ring or, in tests, a plain buffer. Nothing the kernel wrote is trusted: a frame
// whose offsets reach beyond its slot is refused. A slot goes back to the kernel as soon as
// its frame was read.
//
// Frames rather than the blocks of TPACKET_V3: the kernel hands a V3 block over only when
// it is full or its timer (1 ms at least) ran out, which delays every frame of a quiet link
// by up to that much; a V2 slot is the reader's as soon as its frame is in.
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
        Copied,  // too long for its slot: the whole frame waits in the socket's queue
        Refused, // longer than `frameLimit`, or cut by its slot: wireLength tells
        Corrupt, // the slot's offsets reach outside it; the slot was handed back
        Empty,   // the next slot is still the kernel's
    };

    ReceiveRing(uint8_t* base, size_t frameSize, size_t frameCount, size_t frameLimit);

    // The next frame, valid until release_read(), which must follow every result but
    // Empty and Corrupt before the next call.
    Next next(RingFrame& frame);
    // Hands the slot just read back to the kernel and moves on.
    void release_read();

    size_t slot() const { return m_slot; }

private:
    uint8_t* slot_at(size_t index) const { return m_base + index * m_frameSize; }

    uint8_t* m_base;
    size_t m_frameSize;
    size_t m_frameCount;
    size_t m_frameLimit;
    size_t m_slot = 0;
};

} // namespace quellin::edges
