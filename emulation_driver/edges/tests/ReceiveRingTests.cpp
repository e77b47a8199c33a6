// The receive ring's walk over slots laid out by hand as the kernel lays them out.
#include "QuellinEdges/ReceiveRing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <linux/if_packet.h>
#include <vector>

using namespace quellin::edges;

namespace {

constexpr size_t kSlot = 2048;
constexpr size_t kSlots = 3;
constexpr size_t kLimit = 1600;
constexpr uint32_t kMac = 66; // where the kernel puts the link header of a V2 frame

std::vector<uint8_t> payload(size_t length, uint8_t seed) {
    std::vector<uint8_t> f(length);
    for (size_t i = 0; i < length; ++i)
        f[i] = static_cast<uint8_t>(seed + i);
    return f;
}

class HandRing {
public:
    uint8_t* base() { return reinterpret_cast<uint8_t*>(m_storage.data()); }
    uint8_t* slot(size_t index) { return base() + index * kSlot; }

    // Lays `frame` into slot `index` and gives the slot to the reader; `edit` may spoil the
    // header first.
    void fill(size_t index, const std::vector<uint8_t>& frame,
              const std::function<void(tpacket2_hdr&)>& edit = {}) {
        std::memset(slot(index), 0, kSlot);
        tpacket2_hdr h{};
        h.tp_snaplen = static_cast<uint32_t>(frame.size());
        h.tp_len = h.tp_snaplen;
        h.tp_mac = kMac;
        h.tp_status = TP_STATUS_USER;
        std::memcpy(slot(index) + kMac, frame.data(), std::min(frame.size(), kSlot - kMac));
        if (edit)
            edit(h);
        std::memcpy(slot(index), &h, sizeof h);
    }
    uint32_t status(size_t index) {
        uint32_t s;
        std::memcpy(&s, slot(index), sizeof s);
        return s;
    }

private:
    std::vector<uint64_t> m_storage = std::vector<uint64_t>(kSlot * kSlots / 8);
};

class ReceiveRingTest : public ::testing::Test {
protected:
    HandRing hand;
    ReceiveRing ring{hand.base(), kSlot, kSlots, kLimit};

    ReceiveRing::Next next(std::vector<uint8_t>* bytes = nullptr, RingFrame* out = nullptr) {
        RingFrame f;
        const auto n = ring.next(f);
        if (bytes && f.data)
            *bytes = std::vector<uint8_t>(f.data, f.data + f.length);
        if (out)
            *out = f;
        return n;
    }
    std::vector<uint8_t> read_frame() {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(next(&bytes), ReceiveRing::Next::Frame);
        ring.release_read();
        return bytes;
    }
};

TEST_F(ReceiveRingTest, ReadsEachSlotHandsItBackAndWrapsFromTheLastToTheFirst) {
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
    hand.fill(0, payload(60, 1));
    hand.fill(1, payload(1514, 2));
    std::vector<uint8_t> bytes;
    ASSERT_EQ(next(&bytes), ReceiveRing::Next::Frame);
    EXPECT_EQ(bytes, payload(60, 1));
    EXPECT_EQ(hand.status(0), uint32_t{TP_STATUS_USER}); // still being read
    ring.release_read();
    EXPECT_EQ(hand.status(0), uint32_t{TP_STATUS_KERNEL});
    EXPECT_EQ(read_frame(), payload(1514, 2));
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
    // The last slot, then the first again.
    hand.fill(2, payload(100, 3));
    hand.fill(0, payload(80, 4));
    EXPECT_EQ(read_frame(), payload(100, 3));
    EXPECT_EQ(ring.slot(), 0u);
    EXPECT_EQ(read_frame(), payload(80, 4));
    EXPECT_EQ(ring.slot(), 1u);
    for (size_t i = 0; i < kSlots; ++i)
        EXPECT_EQ(hand.status(i), uint32_t{TP_STATUS_KERNEL});
}

TEST_F(ReceiveRingTest, FramesLongerThanTheLimitOrCutByTheirSlotAreRefusedAndCopiesAreSaid) {
    hand.fill(0, payload(kLimit + 1, 1));
    hand.fill(1, payload(kSlot - kMac, 2), [](tpacket2_hdr& h) { h.tp_len = 9000; });
    hand.fill(2, payload(kSlot - kMac, 3), [](tpacket2_hdr& h) {
        h.tp_len = 9000;
        h.tp_status |= TP_STATUS_COPY;
    });
    RingFrame f;
    EXPECT_EQ(next(nullptr, &f), ReceiveRing::Next::Refused);
    EXPECT_EQ(f.wireLength, kLimit + 1);
    ring.release_read();
    EXPECT_EQ(next(nullptr, &f), ReceiveRing::Next::Refused);
    EXPECT_EQ(f.wireLength, 9000u);
    ring.release_read();
    EXPECT_EQ(next(nullptr, &f), ReceiveRing::Next::Copied);
    EXPECT_EQ(f.wireLength, 9000u);
    ring.release_read();
    hand.fill(0, payload(90, 4));
    EXPECT_EQ(read_frame(), payload(90, 4));
}

TEST_F(ReceiveRingTest, OffsetsOutsideTheSlotAreRefusedAndTheNextSlotIsStillRead) {
    const std::vector<std::pair<const char*, std::function<void(tpacket2_hdr&)>>> cases = {
        {"captured bytes past the slot", [](tpacket2_hdr& h) { h.tp_snaplen = kSlot; }},
        {"captured bytes that wrap around", [](tpacket2_hdr& h) { h.tp_snaplen = 0xFFFFFFF0; }},
        {"link header past the slot", [](tpacket2_hdr& h) { h.tp_mac = 0xFFFF; }},
        {"link header inside the frame header", [](tpacket2_hdr& h) { h.tp_mac = 4; }},
    };
    for (const auto& [what, spoil] : cases) {
        SCOPED_TRACE(what);
        HandRing h;
        ReceiveRing r(h.base(), kSlot, kSlots, kLimit);
        h.fill(0, payload(100, 1), spoil);
        h.fill(1, payload(70, 9));
        RingFrame f;
        EXPECT_EQ(r.next(f), ReceiveRing::Next::Corrupt);
        EXPECT_EQ(h.status(0), uint32_t{TP_STATUS_KERNEL});
        ASSERT_EQ(r.next(f), ReceiveRing::Next::Frame);
        EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), payload(70, 9));
    }
}

TEST_F(ReceiveRingTest, TheKernelsNotesOnAFrameArePassedOn) {
    hand.fill(0, payload(64, 1), [](tpacket2_hdr& h) {
        h.tp_status = TP_STATUS_USER | TP_STATUS_CSUMNOTREADY | TP_STATUS_VLAN_VALID;
        h.tp_vlan_tci = 0x2064;
        h.tp_vlan_tpid = 0x88A8;
    });
    RingFrame f;
    ASSERT_EQ(next(nullptr, &f), ReceiveRing::Next::Frame);
    EXPECT_TRUE(f.status & TP_STATUS_CSUMNOTREADY);
    EXPECT_TRUE(f.status & TP_STATUS_VLAN_VALID);
    EXPECT_EQ(f.vlanTci, 0x2064);
    EXPECT_EQ(f.vlanTpid, 0x88A8);
}

} // namespace
