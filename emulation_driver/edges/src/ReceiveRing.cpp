#include "QuellinEdges/ReceiveRing.h"

#include <cstddef>
#include <cstring>
#include <linux/if_packet.h>

namespace quellin::edges {

namespace {
constexpr size_t kStatusOffset = offsetof(tpacket_block_desc, hdr.bh1.block_status);
constexpr size_t kFrameHeader = sizeof(tpacket3_hdr);

uint32_t* status_word(uint8_t* block) {
    return reinterpret_cast<uint32_t*>(block + kStatusOffset);
}
} // namespace

ReceiveRing::ReceiveRing(uint8_t* base, size_t blockSize, size_t blockCount, size_t frameLimit)
    : m_base(base), m_blockSize(blockSize), m_blockCount(blockCount), m_frameLimit(frameLimit) {}

void ReceiveRing::hand_back() {
    __atomic_store_n(status_word(block_at(m_block)), TP_STATUS_KERNEL, __ATOMIC_RELEASE);
    m_open = false;
    m_left = 0;
    m_block = (m_block + 1) % m_blockCount;
}

void ReceiveRing::release_read() {
    if (m_open && m_left == 0)
        hand_back();
}

ReceiveRing::Next ReceiveRing::next(RingFrame& frame) {
    frame = RingFrame{};
    for (;;) {
        uint8_t* block = block_at(m_block);
        if (!m_open) {
            // The kernel fills the block before it sets the status; read nothing before it.
            if (!(__atomic_load_n(status_word(block), __ATOMIC_ACQUIRE) & TP_STATUS_USER))
                return Next::Empty;
            tpacket_hdr_v1 header;
            std::memcpy(&header, block + offsetof(tpacket_block_desc, hdr.bh1), sizeof header);
            m_open = true;
            m_left = header.num_pkts;
            m_offset = header.offset_to_first_pkt;
            if (m_left != 0 && m_offset < sizeof(tpacket_block_desc)) {
                hand_back();
                return Next::Corrupt;
            }
        }
        if (m_left == 0) {
            hand_back();
            continue;
        }
        // Every offset is checked against the block before it is followed.
        if (m_offset >= m_blockSize || m_blockSize - m_offset < kFrameHeader) {
            hand_back();
            return Next::Corrupt;
        }
        tpacket3_hdr header;
        std::memcpy(&header, block + m_offset, sizeof header);
        const size_t room = m_blockSize - m_offset;
        if (header.tp_mac < kFrameHeader || header.tp_mac > room ||
            header.tp_snaplen > room - header.tp_mac) {
            hand_back();
            return Next::Corrupt;
        }
        frame.data = block + m_offset + header.tp_mac;
        frame.length = header.tp_snaplen;
        frame.wireLength = header.tp_len;
        frame.status = header.tp_status;
        frame.vlanTci = header.hv1.tp_vlan_tci;
        frame.vlanTpid = header.hv1.tp_vlan_tpid;
        --m_left;
        // A step too short to pass this frame's header makes the next frame's check fail.
        m_offset =
            header.tp_next_offset >= kFrameHeader ? m_offset + header.tp_next_offset : m_blockSize;
        if (header.tp_snaplen < header.tp_len || header.tp_snaplen > m_frameLimit)
            return Next::Refused;
        return Next::Frame;
    }
}

} // namespace quellin::edges
