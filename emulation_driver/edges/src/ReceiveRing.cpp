#include "QuellinEdges/ReceiveRing.h"

#include <cstring>
#include <linux/if_packet.h>

namespace quellin::edges {

namespace {
constexpr size_t kFrameHeader = sizeof(tpacket2_hdr);

uint32_t* status_word(uint8_t* slot) {
    static_assert(offsetof(tpacket2_hdr, tp_status) == 0);
    return reinterpret_cast<uint32_t*>(slot);
}
} // namespace

ReceiveRing::ReceiveRing(uint8_t* base, size_t frameSize, size_t frameCount, size_t frameLimit)
    : m_base(base), m_frameSize(frameSize), m_frameCount(frameCount), m_frameLimit(frameLimit) {}

void ReceiveRing::release_read() {
    __atomic_store_n(status_word(slot_at(m_slot)), TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    m_slot = (m_slot + 1) % m_frameCount;
}

ReceiveRing::Next ReceiveRing::next(RingFrame& frame) {
    frame = RingFrame{};
    uint8_t* slot = slot_at(m_slot);
    // The kernel fills the slot before it sets the status; read nothing before it.
    const uint32_t status = __atomic_load_n(status_word(slot), __ATOMIC_ACQUIRE);
    if (!(status & TP_STATUS_USER))
        return Next::Empty;
    tpacket2_hdr header;
    std::memcpy(&header, slot, sizeof header);
    // Every offset is checked against the slot before it is followed.
    if (header.tp_mac < kFrameHeader || header.tp_mac > m_frameSize ||
        header.tp_snaplen > m_frameSize - header.tp_mac) {
        release_read();
        return Next::Corrupt;
    }
    frame.data = slot + header.tp_mac;
    frame.length = header.tp_snaplen;
    frame.wireLength = header.tp_len;
    frame.status = status;
    frame.vlanTci = header.tp_vlan_tci;
    frame.vlanTpid = header.tp_vlan_tpid;
    if (status & TP_STATUS_COPY)
        return Next::Copied;
    if (header.tp_snaplen < header.tp_len || header.tp_snaplen > m_frameLimit)
        return Next::Refused;
    return Next::Frame;
}

} // namespace quellin::edges
