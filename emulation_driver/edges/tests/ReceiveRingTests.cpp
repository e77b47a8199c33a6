// The receive ring's walk over blocks laid out by hand as the kernel lays them out.
#include "QuellinEdges/ReceiveRing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <linux/if_packet.h>
#include <vector>

using namespace quellin::edges;

namespace {

constexpr size_t kBlock = 4096;
constexpr size_t kBlocks = 2;
constexpr size_t kLimit = 1600;
constexpr uint32_t kMac = 82; // where the kernel puts the link header of a V3 frame
constexpr size_t kFirst = 48;

size_t align16(size_t n) {
    return (n + 15) & ~size_t{15};
}

std::vector<uint8_t> payload(size_t length, uint8_t seed) {
    std::vector<uint8_t> f(length);
    for (size_t i = 0; i < length; ++i)
        f[i] = static_cast<uint8_t>(seed + i);
    return f;
}

class HandRing {
public:
    uint8_t* base() { return reinterpret_cast<uint8_t*>(m_storage.data()); }
    uint8_t* block(size_t index) { return base() + index * kBlock; }

    // Lays `frames` into block `index` and gives the block to the reader; gives the offset
    // of each frame's header.
    std::vector<size_t> fill(size_t index, const std::vector<std::vector<uint8_t>>& frames,
                             uint32_t status = TP_STATUS_USER) {
        std::memset(block(index), 0, kBlock);
        std::vector<size_t> offsets;
        size_t at = kFirst;
        for (const auto& f : frames) {
            tpacket3_hdr h{};
            h.tp_snaplen = static_cast<uint32_t>(f.size());
            h.tp_len = h.tp_snaplen;
            h.tp_mac = kMac;
            h.tp_status = TP_STATUS_USER;
            h.tp_next_offset = static_cast<uint32_t>(align16(kMac + f.size()));
            std::memcpy(block(index) + at, &h, sizeof h);
            std::memcpy(block(index) + at + kMac, f.data(), f.size());
            offsets.push_back(at);
            at += h.tp_next_offset;
        }
        tpacket_hdr_v1 b{};
        b.num_pkts = static_cast<uint32_t>(frames.size());
        b.offset_to_first_pkt = kFirst;
        b.blk_len = static_cast<uint32_t>(at);
        b.block_status = status;
        std::memcpy(block(index) + offsetof(tpacket_block_desc, hdr.bh1), &b, sizeof b);
        return offsets;
    }
    uint32_t status(size_t index) {
        uint32_t s;
        std::memcpy(&s, block(index) + offsetof(tpacket_block_desc, hdr.bh1.block_status),
                    sizeof s);
        return s;
    }
    // Rewrites one field of the frame header at `offset` of block `index`.
    template <typename Edit>
    void edit_frame(size_t index, size_t offset, Edit edit) {
        tpacket3_hdr h;
        std::memcpy(&h, block(index) + offset, sizeof h);
        edit(h);
        std::memcpy(block(index) + offset, &h, sizeof h);
    }
    void set_block(size_t index, uint32_t first, uint32_t count) {
        tpacket_hdr_v1 b;
        std::memcpy(&b, block(index) + offsetof(tpacket_block_desc, hdr.bh1), sizeof b);
        b.offset_to_first_pkt = first;
        b.num_pkts = count;
        std::memcpy(block(index) + offsetof(tpacket_block_desc, hdr.bh1), &b, sizeof b);
    }

private:
    std::vector<uint64_t> m_storage = std::vector<uint64_t>(kBlock * kBlocks / 8);
};

class ReceiveRingTest : public ::testing::Test {
protected:
    HandRing hand;
    ReceiveRing ring{hand.base(), kBlock, kBlocks, kLimit};

    std::vector<uint8_t> read_frame() {
        RingFrame f;
        EXPECT_EQ(ring.next(f), ReceiveRing::Next::Frame);
        return f.data ? std::vector<uint8_t>(f.data, f.data + f.length) : std::vector<uint8_t>{};
    }
    ReceiveRing::Next next() {
        RingFrame f;
        return ring.next(f);
    }
};

TEST_F(ReceiveRingTest, ReadsABlocksFramesAndHandsTheBlockBackOnceAllAreRead) {
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
    hand.fill(0, {payload(60, 1), payload(1514, 2), payload(100, 3)});
    EXPECT_EQ(read_frame(), payload(60, 1));
    EXPECT_EQ(read_frame(), payload(1514, 2));
    ring.release_read(); // frames of the block are still to be read: it stays
    EXPECT_EQ(hand.status(0), uint32_t{TP_STATUS_USER});
    EXPECT_EQ(read_frame(), payload(100, 3));
    ring.release_read();
    EXPECT_EQ(hand.status(0), uint32_t{TP_STATUS_KERNEL});
    EXPECT_EQ(ring.block(), 1u);
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
}

TEST_F(ReceiveRingTest, TheWalkWrapsFromTheLastBlockToTheFirst) {
    hand.fill(0, {payload(64, 10)});
    hand.fill(1, {payload(64, 20), payload(64, 21)});
    EXPECT_EQ(read_frame(), payload(64, 10));
    EXPECT_EQ(read_frame(), payload(64, 20)); // the first block goes back on the way
    EXPECT_EQ(hand.status(0), uint32_t{TP_STATUS_KERNEL});
    EXPECT_EQ(read_frame(), payload(64, 21));
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
    EXPECT_EQ(hand.status(1), uint32_t{TP_STATUS_KERNEL});
    EXPECT_EQ(ring.block(), 0u);
    hand.fill(0, {payload(80, 30)});
    EXPECT_EQ(read_frame(), payload(80, 30));
    // A block the kernel retired empty is passed over.
    hand.fill(1, {});
    EXPECT_EQ(next(), ReceiveRing::Next::Empty);
    EXPECT_EQ(ring.block(), 0u);
}

TEST_F(ReceiveRingTest, FramesLongerThanTheLimitOrCutByTheRingAreRefusedAlone) {
    const auto offsets = hand.fill(0, {payload(kLimit + 1, 1), payload(200, 2), payload(90, 3)});
    hand.edit_frame(0, offsets[1], [](tpacket3_hdr& h) { h.tp_len = 9000; });
    RingFrame f;
    EXPECT_EQ(ring.next(f), ReceiveRing::Next::Refused);
    EXPECT_EQ(f.wireLength, kLimit + 1);
    EXPECT_EQ(ring.next(f), ReceiveRing::Next::Refused);
    EXPECT_EQ(f.wireLength, 9000u);
    EXPECT_EQ(read_frame(), payload(90, 3));
}

TEST_F(ReceiveRingTest, OffsetsOutsideTheBlockEndItAndTheNextBlockIsStillRead) {
    struct Case {
        const char* what;
        std::function<void(HandRing&, const std::vector<size_t>&)> spoil;
        size_t goodFrames; // read before the fault shows
    };
    const std::vector<Case> cases = {
        {"next offset past the block",
         [](HandRing& h, const auto& o) {
             h.edit_frame(0, o[0], [](tpacket3_hdr& f) { f.tp_next_offset = kBlock; });
         },
         1},
        {"next offset that does not advance",
         [](HandRing& h, const auto& o) {
             h.edit_frame(0, o[0], [](tpacket3_hdr& f) { f.tp_next_offset = 0; });
         },
         1},
        {"captured bytes past the block",
         [](HandRing& h, const auto& o) {
             h.edit_frame(0, o[1], [](tpacket3_hdr& f) { f.tp_snaplen = kBlock; });
         },
         1},
        {"link header past the block",
         [](HandRing& h, const auto& o) {
             h.edit_frame(0, o[0], [](tpacket3_hdr& f) { f.tp_mac = 0xFFFF; });
         },
         0},
        {"link header inside the frame header",
         [](HandRing& h, const auto& o) {
             h.edit_frame(0, o[0], [](tpacket3_hdr& f) { f.tp_mac = 4; });
         },
         0},
        {"first frame past the block",
         [](HandRing& h, const auto&) { h.set_block(0, kBlock + 16, 2); }, 0},
        {"first frame over the block descriptor",
         [](HandRing& h, const auto&) { h.set_block(0, 8, 2); }, 0},
        {"more frames than the block holds",
         [](HandRing& h, const auto&) { h.set_block(0, kFirst, 1000000); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HandRing h;
        ReceiveRing r(h.base(), kBlock, kBlocks, kLimit);
        c.spoil(h, h.fill(0, {payload(100, 1), payload(100, 2)}));
        h.fill(1, {payload(70, 9)});
        RingFrame f;
        for (size_t i = 0; i < c.goodFrames; ++i)
            ASSERT_EQ(r.next(f), ReceiveRing::Next::Frame);
        ReceiveRing::Next n = r.next(f);
        // A count past the real frames walks into zeroed bytes: refused there at the latest.
        while (n == ReceiveRing::Next::Frame || n == ReceiveRing::Next::Refused)
            n = r.next(f);
        EXPECT_EQ(n, ReceiveRing::Next::Corrupt);
        EXPECT_EQ(h.status(0), uint32_t{TP_STATUS_KERNEL});
        ASSERT_EQ(r.next(f), ReceiveRing::Next::Frame);
        EXPECT_EQ(std::vector<uint8_t>(f.data, f.data + f.length), payload(70, 9));
    }
}

TEST_F(ReceiveRingTest, TheKernelsNotesOnAFrameArePassedOn) {
    const auto offsets = hand.fill(0, {payload(64, 1)});
    hand.edit_frame(0, offsets[0], [](tpacket3_hdr& h) {
        h.tp_status = TP_STATUS_USER | TP_STATUS_CSUMNOTREADY | TP_STATUS_VLAN_VALID;
        h.hv1.tp_vlan_tci = 0x2064;
        h.hv1.tp_vlan_tpid = 0x88A8;
    });
    RingFrame f;
    ASSERT_EQ(ring.next(f), ReceiveRing::Next::Frame);
    EXPECT_TRUE(f.status & TP_STATUS_CSUMNOTREADY);
    EXPECT_TRUE(f.status & TP_STATUS_VLAN_VALID);
    EXPECT_EQ(f.vlanTci, 0x2064);
    EXPECT_EQ(f.vlanTpid, 0x88A8);
}

} // namespace
