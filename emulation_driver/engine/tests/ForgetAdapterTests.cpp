#include "EngineFixture.h"

using namespace quellin;
using namespace quellin::test;

namespace {
constexpr uint16_t kHit = 0;
constexpr uint16_t kMiss = 0x7FFF;

// A packet of another adapter straight into the engine, as if its block matched.
void enter_from(RteAdapter* other, uint8_t tag) {
    const auto frame = ipv4_frame(kStation, kPeer, 100, tag);
    RtePacket* p = rte_take_packet(other, 0, frame.data(), frame.size());
    ASSERT_NE(p, nullptr);
    du_new_packet_gateway(p, 0);
}
} // namespace

TEST_F(EngineTest, ForgettingAnAdapterFreesItsQueuedAndHeldPackets) {
    RteAdapter* other = rte_bind_adapter("tap1");
    ASSERT_NE(other, nullptr);
    block.setOutOfOrderChance(50);
    block.setOutOfOrderMinRange(5);
    block.setOutOfOrderMaxRange(5);
    block.setEastOut(10000); // 1 Mbit/s entry link: packets wait in queue 0
    play();

    random.push({kHit, 0}); // the first packet is held for reordering
    random.set_fallback(kMiss);
    models.delays = {50000, 50000, 50000, 50000};
    send(0, 100, 1);
    send(0, 100, 2);
    enter_from(other, 9);
    send(0, 100, 3);
    timers.run_until(clock.now() + 1500); // the head of the entry queue moves to the WAN
    ASSERT_EQ(sink.count(), 0u);
    ASSERT_NE(du_context().reorder.packet, nullptr);
    ASSERT_GT(du_context().queues[1].length, 0u);

    EXPECT_EQ(du_forget_adapter(adapter), 3u);
    EXPECT_EQ(du_context().reorder.packet, nullptr);
    EXPECT_EQ(rte_free_descriptors(adapter, 0), kPool);
    EXPECT_TRUE(rte_unbind_adapter(adapter));
    adapter = nullptr;

    // The other adapter's packet still reaches the wire, on a rearmed timer.
    timers.run_until(clock.now() + 500000);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.frames()[0].adapterNumber, 2);
    EXPECT_EQ(tag_of(0), 9);
    EXPECT_EQ(counter(wire::kCtrWanPackets), 0u);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);
    EXPECT_EQ(counter(wire::kCtrWestQueued), 0u);
    EXPECT_EQ(rte_free_descriptors(other, 0), kPool);
    EXPECT_EQ(rte_alloc_free_blocks(), rte_alloc_total_blocks());
}

TEST_F(EngineTest, ForgettingAnAdapterWithNothingQueuedChangesNothing) {
    play();
    models.delays = {20000};
    send(0, 100, 1);
    RteAdapter* other = rte_bind_adapter("tap1");
    EXPECT_EQ(du_forget_adapter(other), 0u);
    EXPECT_EQ(timers.armed(), 2u); // the periodic tick and the WAN head
    timers.run_until(clock.now() + 30000);
    EXPECT_EQ(sink.count(), 1u);
}
