#include "quellin_rte/PacketLayer.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::test;

namespace {
class PacketLayer : public ::testing::Test {
protected:
    void SetUp() override {
        RteConfig cfg;
        cfg.packetPoolSize = 8;
        cfg.frameCapacity = 256;
        cfg.allocBlocks = 4;
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
        adapter = rte_bind_adapter("tap0");
        ASSERT_NE(adapter, nullptr);
    }
    void TearDown() override { rte_shutdown(); }

    rte::test::VirtualClock clock{5000000, 86399000};
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink{&clock};
    RteAdapter* adapter = nullptr;
};
} // namespace

TEST_F(PacketLayer, PoolsAreFixedAndRefuseWhenEmpty) {
    const auto frame = ipv4_frame(1, 2);
    std::vector<RtePacket*> taken;
    for (int i = 0; i < 8; ++i)
        taken.push_back(rte_take_packet(adapter, 0, frame.data(), frame.size()));
    EXPECT_EQ(rte_free_descriptors(adapter, 0), 0u);
    EXPECT_EQ(rte_free_descriptors(adapter, 1), 8u);
    EXPECT_EQ(rte_take_packet(adapter, 0, frame.data(), frame.size()), nullptr);
    EXPECT_EQ(rte_refused(adapter, 0), 1u);
    std::vector<uint8_t> huge(257, 0);
    EXPECT_EQ(rte_take_packet(adapter, 1, huge.data(), huge.size()), nullptr);
    rte_transmit(taken[0]);
    for (size_t i = 1; i < taken.size(); ++i)
        rte_free_cookie(taken[i]);
    EXPECT_EQ(rte_free_descriptors(adapter, 0), 8u);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.frames()[0].bytes, frame);
    EXPECT_EQ(sink.frames()[0].adapterNumber, 1);

    void* blocks[5];
    for (auto& b : blocks)
        b = rte_alloc(48);
    EXPECT_EQ(blocks[4], nullptr);
    EXPECT_EQ(rte_alloc(kRteBlockSize + 1), nullptr);
    for (auto* b : blocks)
        rte_free(b, 48);
    EXPECT_EQ(rte_alloc_free_blocks(), 4u);
}

TEST_F(PacketLayer, SizesAndDataAreBoundedByTheFrame) {
    auto frame = ipv4_frame(1, 2, 100);
    RtePacket* p = rte_take_packet(adapter, 0, frame.data(), frame.size());
    EXPECT_EQ(rte_get_packet_size(p), 100u);
    EXPECT_EQ(rte_get_eth_packet_size(p), 114u);
    uint8_t buf[200];
    EXPECT_EQ(rte_get_data(p, buf, 0, 200), 100u);
    EXPECT_EQ(buf[0], 0x45);
    EXPECT_EQ(rte_get_data(p, buf, 100, 4), 0u);
    rte_free_cookie(p);

    // A truncated frame that claims 1,500 bytes of IP.
    put_be16(frame, 16, 1500);
    frame.resize(14 + 40);
    p = rte_take_packet(adapter, 1, frame.data(), frame.size());
    EXPECT_EQ(rte_get_packet_size(p), 40u);
    rte_free_cookie(p);

    // Too short for any link header.
    p = rte_take_packet(adapter, 1, frame.data(), 10);
    EXPECT_EQ(rte_get_packet_size(p), 0u);
    EXPECT_EQ(rte_get_data(p, buf, 0, 4), 0u);
    rte_free_cookie(p);

    auto v6 = ipv6_frame({}, {}, 60);
    p = rte_take_packet(adapter, 1, v6.data(), v6.size());
    EXPECT_EQ(rte_get_packet_size(p), 100u);
    rte_free_cookie(p);
}

TEST_F(PacketLayer, MkcookieBuildsFrameAndSwapsAddressesWhenReversed) {
    const auto frame = ipv4_frame(ipv4(198, 18, 0, 1), ipv4(198, 18, 0, 2), 100, 0x5A);
    RtePacket* parent = rte_take_packet(adapter, 0, frame.data(), frame.size());
    const uint8_t hdr[4] = {1, 2, 3, 4};
    RtePacket* same = rte_mkcookie(parent, hdr, 4, 20, 1000, 1);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(rte_get_direction(same), 0);
    EXPECT_EQ(same->length, 14u + 4 + 80);
    EXPECT_EQ(same->frame[0], frame[0]);
    EXPECT_EQ(same->frame[14], 1);
    EXPECT_EQ(same->frame[18 + 8], 0x5A);

    RtePacket* back = rte_mkcookie(parent, nullptr, 0, 0, 20, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(rte_get_direction(back), 1);
    EXPECT_EQ(rte_free_descriptors(adapter, 1), 7u);
    EXPECT_EQ(back->frame[0], frame[6]);
    EXPECT_EQ(back->frame[6], frame[0]);
    EXPECT_EQ(back->length, 34u);
    rte_toggle_bits(back, 14 * 8, 4);
    EXPECT_EQ(back->frame[14], 0x45 ^ 0xF0);
    rte_toggle_bits(back, 34 * 8 - 2, 10); // cut at the frame's end
    EXPECT_EQ(back->frame[33], frame[33] ^ 0x03);

    rte_free_cookie(same);
    rte_free_cookie(back);
    rte_free_cookie(parent);
}

TEST_F(PacketLayer, ClocksTimersAndRandom) {
    EXPECT_EQ(rte_gettime(), 5000000u);
    EXPECT_EQ(rte_gettimeofday(), 86399000u);
    clock.advance(1500000);
    EXPECT_EQ(rte_gettimeofday(), 500u); // carried past midnight

    EXPECT_EQ(rte_schedule(5, nullptr), -1); // no callback installed
    static int fired = 0;
    rte_set_timer_callback([](void*) { ++fired; });
    const int h = rte_schedule(5, nullptr);
    EXPECT_GE(h, 0);
    EXPECT_TRUE(rte_cancel_timer(h));
    rte_schedule(1, nullptr);
    timers.run_until(clock.now() + 1000);
    EXPECT_EQ(fired, 1);

    random.push(0x1234);
    EXPECT_EQ(rte_rand(), 0x1234);
}

TEST_F(PacketLayer, AdapterTableHoldsFifteen) {
    for (int i = 2; i <= 15; ++i)
        ASSERT_NE(rte_bind_adapter("x"), nullptr);
    EXPECT_EQ(rte_bind_adapter("sixteenth"), nullptr);
    EXPECT_EQ(rte_adapter_count(), 15u);
    EXPECT_EQ(rte_adapter_number(rte_adapter(15)), 15);
    EXPECT_EQ(rte_adapter(16), nullptr);
    EXPECT_STREQ(rte_adapter_name(rte_adapter(1)), "tap0");
}
