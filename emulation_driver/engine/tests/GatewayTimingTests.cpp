#include "EngineFixture.h"

using namespace quellin;
using namespace quellin::test;

TEST(TransmissionTime, SixtyFourBitsAndUnlimited) {
    EXPECT_EQ(du_transmission_time(1500, 0, 100000), 1200u);
    EXPECT_EQ(du_transmission_time(1500, 0, wire::pb::kUnlimitedBandwidth), 0u);
    // (65,535 + 65,535) × 80,000 does not fit 32 bits.
    EXPECT_EQ(du_transmission_time(65535, 65535, 24), 131070ull * 80000 / 24);
    EXPECT_EQ(du_transmission_time(1500, 0, 0), 0u);
}

TEST_F(EngineTest, TenMegabitGatewaySpacesPacketsBy1200Microseconds) {
    block.setEastOut(100000);
    play();
    const uint64_t t0 = clock.now();
    ASSERT_EQ(send(0, 1500, 1), EdgeResult::Emulated);
    ASSERT_EQ(send(0, 1500, 2), EdgeResult::Emulated);
    const TimerQueue& q = du_context().queues[0];
    ASSERT_NE(q.head, nullptr);
    EXPECT_EQ(q.head->due, t0 + 1200);
    EXPECT_EQ(q.head->next->due, t0 + 2400);
    EXPECT_EQ(q.length, 2u);
    ASSERT_EQ(timers.armed_ms().size(), 2u); // the head's timer and the periodic tick
    EXPECT_EQ(timers.armed_ms()[1], 1u);     // 1,200 µs rounds to 1 ms
    EXPECT_EQ(sink.count(), 0u);

    timers.run_until(t0 + 1000);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(tag_of(0), 1);
    EXPECT_EQ(q.carried, t0 + 1200);
    EXPECT_EQ(q.head->due, t0 + 2400);
    timers.run_until(t0 + 3000);
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(tag_of(1), 2);
    EXPECT_EQ(q.head, nullptr);
    EXPECT_EQ(q.carried, t0 + 2400);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, CarriedDueTimeDelaysTheNextPacketOnAnEmptyQueue) {
    block.setEastOut(100000);
    play();
    const uint64_t t0 = clock.now();
    send(0, 1500, 1);
    timers.run_until(t0 + 1000); // served at 1 ms, carried 1,200 µs
    ASSERT_EQ(sink.count(), 1u);
    send(0, 1500, 2);
    const TimerQueue& q = du_context().queues[0];
    ASSERT_NE(q.head, nullptr);
    EXPECT_EQ(q.head->due, t0 + 2400);
    EXPECT_EQ(q.carried, 0u);
    EXPECT_EQ(timers.armed_ms().back(), 1u); // 1,400 µs

    // Once the carried time has passed it only gets cleared.
    timers.run_until(t0 + 10000);
    send(0, 1500, 3);
    EXPECT_EQ(q.head->due, t0 + 10000 + 1200);
}

TEST_F(EngineTest, UnlimitedBandwidthQueuesNothing) {
    play();
    for (int i = 0; i < 10; ++i)
        send(i % 2, 1500, static_cast<uint8_t>(i));
    EXPECT_EQ(sink.count(), 10u);
    EXPECT_EQ(timers.armed(), 1u); // only the periodic tick
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(tag_of(i), i);
    EXPECT_EQ(sink.count(0), 5u);
    EXPECT_EQ(sink.count(1), 5u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, WaitsBelowOneMillisecondAreServedWithoutATimer) {
    block.setEastOut(102400); // 1,200 bytes take 937 µs
    models.delays = {999};
    play();
    const size_t armedBefore = timers.armed_ms().size();
    send(0, 1200, 1);
    EXPECT_EQ(sink.count(), 1u);
    EXPECT_EQ(timers.armed_ms().size(), armedBefore);
    // Behind a waiting head the short wait adds up and needs a timer after all.
    block.setEastOut(100000);
    play();
    send(0, 1500, 2);
    send(0, 1500, 3);
    EXPECT_EQ(sink.count(), 1u);
    timers.run_until(clock.now() + 5000);
    EXPECT_EQ(sink.count(), 3u);
}

TEST_F(EngineTest, OverheadAndInboundUseTheirOwnGateway) {
    block.setWestOut(100000); // inbound entry
    block.setWestOverhead(100);
    block.setEastOverhead(1000); // would matter only at the East bucket
    play();
    const uint64_t t0 = clock.now();
    send(1, 1400);
    const TimerQueue& q = du_context().queues[3];
    ASSERT_NE(q.head, nullptr);
    EXPECT_EQ(q.head->due, t0 + 1200);
    EXPECT_EQ(du_context().queues[0].head, nullptr);
}
