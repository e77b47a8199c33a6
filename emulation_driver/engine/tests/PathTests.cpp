#include "EngineFixture.h"

using namespace quellin;
using namespace quellin::test;

TEST_F(EngineTest, WanQueueKeepsFifoOrder) {
    models.delays = {50000, 10000, 20000};
    play();
    const uint64_t t0 = clock.now();
    send(0, 100, 1);
    send(0, 100, 2);
    send(0, 100, 3);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_EQ(counter(wire::kCtrWanPackets), 3u);
    EXPECT_EQ(counter(wire::kCtrQueueMaxTotal), 3u);
    timers.run_until(t0 + 49000);
    EXPECT_EQ(sink.count(), 0u);
    timers.run_until(t0 + 50000);
    // The head goes at 50 ms; the others were due earlier and follow at once.
    ASSERT_EQ(sink.count(), 3u);
    EXPECT_EQ(tag_of(0), 1);
    EXPECT_EQ(tag_of(1), 2);
    EXPECT_EQ(tag_of(2), 3);
    EXPECT_EQ(sink.frames()[2].timeUs, t0 + 50000);
    EXPECT_EQ(counter(wire::kCtrWanPackets), 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, CapturePointsAndPacketRecordsOfBothDirections) {
    play();
    send(0, 100, 7);
    send(1, 60, 8);
    ASSERT_EQ(sink.count(), 2u);
    // Outbound: East station side (0), East WAN side (1), West WAN side (3), West
    // station side (2). Inbound the other way round.
    for (int list : {0, 1, 2, 3}) {
        EXPECT_EQ(du_context().listWriteCounters[list], 2u) << list;
    }
    EXPECT_EQ(list_entry(0, 0).sequence, 1u);
    EXPECT_EQ(list_entry(2, 0).sequence, 1u); // outbound left West
    EXPECT_EQ(list_entry(2, 1).sequence, 2u); // inbound entered West
    EXPECT_EQ(list_entry(0, 1).sequence, 2u);
    EXPECT_EQ(list_entry(1, 0).sequence, 1u);
    EXPECT_EQ(list_entry(3, 0).sequence, 1u);
    EXPECT_EQ(list_entry(3, 1).sequence, 2u);
    EXPECT_EQ(list_entry(1, 1).sequence, 2u);
    EXPECT_EQ(list_entry(0, 0).timeOfDayMs, 3600000u);

    EXPECT_EQ(du_context().capturedCount, 2u);
    const auto out = record(0);
    EXPECT_EQ(out.sequence, 1u);
    EXPECT_EQ(out.side, 0);
    EXPECT_EQ(out.data[0], 0x45);
    EXPECT_EQ(out.data[28], 7);
    const auto in = record(1);
    EXPECT_EQ(in.sequence, 2u);
    EXPECT_EQ(in.side, 1);
    EXPECT_EQ(in.data[28], 8);
    // A 60-byte packet copies 60 bytes; the rest of the slot stays as it was.
    EXPECT_EQ(in.data[60], 0);
    EXPECT_EQ(du_context().sequence, 2u);
}

TEST_F(EngineTest, PacketRecordStoreWrapsAfter5000) {
    play();
    for (int i = 0; i < 5001; ++i)
        send(0, 40);
    EXPECT_EQ(du_context().capturedCount, 0u);
    EXPECT_EQ(record(5000).sequence, 5001u);
    send(0, 40);
    EXPECT_EQ(du_context().capturedCount, 1u);
    EXPECT_EQ(record(0).sequence, 5002u);
    // Lists wrap at 7,000 slots.
    for (int i = 0; i < 2000; ++i)
        send(0, 40);
    EXPECT_EQ(list_entry(0, 1).sequence, 7002u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, DroppedPacketsTravelToTheExitAndAreFreedThere) {
    block.setEastOut(100000);
    models.losses = {wire::kFlagLost};
    models.delays = {20000};
    play();
    send(0, 1500, 1);
    timers.run_until(clock.now() + 1000);
    // Lost at the WAN entry: no delay, no exit queueing, every capture point sees it.
    EXPECT_EQ(sink.count(), 0u);
    for (int list : {0, 1, 2, 3})
        EXPECT_EQ(du_context().listWriteCounters[list], 1u) << list;
    EXPECT_EQ(list_entry(3, 0).flags, wire::kFlagLost);
    EXPECT_EQ(list_entry(2, 0).flags, wire::kFlagLost);
    EXPECT_EQ(du_context().capturedCount, 1u);
    EXPECT_TRUE(pools_full());
    EXPECT_EQ(counter(wire::kCtrWanPackets), 0u);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);
}

TEST_F(EngineTest, BucketDropIsFlaggedAndQueuedWithoutTime) {
    block.setEastOut(100000);
    models.refuseBucket = true;
    play();
    send(0, 1500);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_EQ(list_entry(2, 0).flags, wire::kFlagBucketDrop);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, GatewayCountersAndTheirMaxima) {
    block.setEastOut(100000);
    block.setEastIn(100000);
    play();
    send(0, 1500);
    send(0, 1500);
    send(1, 1500); // waits at the East exit gateway
    EXPECT_EQ(counter(wire::kCtrEastQueued), 3u);
    EXPECT_EQ(counter(wire::kCtrWestQueued), 0u);
    EXPECT_EQ(counter(wire::kCtrQueueMaxSecond + 1), 3u);
    timers.run_until(clock.now() + 10000);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);
    EXPECT_EQ(counter(wire::kCtrQueueMaxTotal + 1), 3u);
    EXPECT_EQ(sink.count(), 3u);
}

TEST_F(EngineTest, ClassifierDecidesAtTheEdge) {
    play();
    const auto arp = arp_frame();
    EXPECT_EQ(edge_packet_in(adapter, 1, arp.data(), arp.size()), EdgeResult::PassedOn);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(sink.frames()[0].bytes, arp);
    EXPECT_EQ(du_context().sequence, 0u);
    const auto other = ipv4_frame(kPeer, ipv4(198, 19, 0, 1));
    EXPECT_EQ(edge_packet_in(adapter, 0, other.data(), other.size()), EdgeResult::PassedOn);
    EXPECT_EQ(send(0), EdgeResult::Emulated);
}

TEST_F(EngineTest, EdgeDropsWhenTenOrFewerDescriptorsAreLeft) {
    block.setEastOut(24); // 2.4 kbit/s: everything waits
    play();
    int emulated = 0, dropped = 0;
    for (uint32_t i = 0; i < kPool; ++i) {
        const auto r = send(0, 100);
        emulated += r == EdgeResult::Emulated;
        dropped += r == EdgeResult::Dropped;
    }
    EXPECT_EQ(emulated, static_cast<int>(kPool - 11));
    EXPECT_EQ(dropped, 11);
    EXPECT_TRUE(du_stop());
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, BypassPassesStraightThroughWithoutRecords) {
    ASSERT_EQ(load(), 0);
    du_play(); // the pending requests have not cleared the bypass flag yet
    EXPECT_EQ(send(0), EdgeResult::PassedOn);
    EXPECT_EQ(sink.count(), 1u);
    EXPECT_EQ(du_context().sequence, 0u);
    EXPECT_EQ(du_context().capturedCount, 0u);
}

TEST_F(EngineTest, PlayWithoutABlockPassesEverythingThrough) {
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(send(0), EdgeResult::PassedOn);
    EXPECT_EQ(sink.count(), 1u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, PeriodicTickSurvivesALateStartAndASecondPlay) {
    ASSERT_EQ(load(), 0);
    du_play();
    // The pending requests arrive only after the first tick.
    timers.run_until(clock.now() + 1000000);
    EXPECT_EQ(reporter.queueStats, 1);
    EXPECT_EQ(models.ticks, 0); // nothing is decided while the bypass flag is set
    du_set_bypass(false);
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(timers.armed(), 1u);
    timers.run_until(clock.now() + 2000000);
    EXPECT_EQ(reporter.queueStats, 3);
    EXPECT_EQ(models.ticks, 2);
}

TEST_F(EngineTest, PeriodicTickReportsEachSecondUntilStop) {
    play();
    timers.run_until(clock.now() + 3000000);
    EXPECT_EQ(reporter.statsPackets, 3);
    EXPECT_EQ(reporter.queueStats, 3);
    EXPECT_EQ(models.ticks, 3);
    du_stop();
    timers.run_until(clock.now() + 3000000);
    EXPECT_EQ(reporter.queueStats, 3);
    EXPECT_EQ(timers.armed(), 0u);
}

TEST_F(EngineTest, TwentyFiveUnsentRecordsCompleteEarly) {
    play();
    for (int i = 0; i < 24; ++i)
        send(0, 40);
    EXPECT_EQ(reporter.statsPackets, 0);
    send(0, 40);
    EXPECT_EQ(reporter.statsPackets, 1);
}

TEST(DuRand, SpansTheRangeAndNeverPassesIt) {
    rte::test::VirtualClock clock;
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink;
    ASSERT_TRUE(rte_init({}, {&clock, &random, &timers, &sink}));
    random.push({0, 0x7FFF, 0x4000, 0x7FFE, 0x7FFF});
    EXPECT_EQ(du_rand(1, 100), 1u);
    EXPECT_EQ(du_rand(1, 100), 100u); // r = span becomes span - 1
    EXPECT_EQ(du_rand(1, 100), 1u + 0x4000u * 100 / 0x7FFF);
    EXPECT_EQ(du_rand(3, 3), 3u);
    EXPECT_EQ(du_rand(1, 10000), 10000u);
    rte_shutdown();
}
