#include "EngineFixture.h"

using namespace quellin;
using namespace quellin::test;

TEST_F(EngineTest, StopTransmitsEverythingQueuedAndRefillsThePools) {
    block.setEastOut(100000);
    block.setWestIn(100000);
    models.delays = {0, 30000, 30000}; // the inbound packet reaches the WAN first
    play();
    for (int i = 0; i < 5; ++i)
        send(0, 1500, static_cast<uint8_t>(i));
    send(1, 1500, 9);
    timers.run_until(clock.now() + 2500); // two of them reach the WAN queue
    EXPECT_EQ(sink.count(), 1u);          // the inbound one went through
    EXPECT_FALSE(pools_full());

    EXPECT_TRUE(du_stop());
    EXPECT_EQ(sink.count(), 6u);
    EXPECT_TRUE(pools_full());
    EXPECT_EQ(timers.armed(), 0u);
    for (const auto& q : du_context().queues)
        EXPECT_EQ(q.head, nullptr);
    // The block is neutralised in place.
    const auto& b = *du_context().block;
    EXPECT_EQ(b.eastOut(), wire::pb::kUnlimitedBandwidth);
    EXPECT_EQ(b.westIn(), wire::pb::kUnlimitedBandwidth);
    EXPECT_EQ(b.eastBucketSize(), 0xFFFF);
    EXPECT_EQ(b.minDelay(), 0);
    // A second stop does nothing.
    EXPECT_FALSE(du_stop());
}

TEST_F(EngineTest, LoadDuringPlayDoesNotStrandQueuedPackets) {
    block.setEastOut(100000);
    models.delays = {40000, 40000};
    play();
    send(0, 1500, 1);
    send(0, 1500, 2);
    send(0, 1500, 3);
    timers.run_until(clock.now() + 2000); // 1 and 2 in the WAN, 3 at the gateway
    EXPECT_EQ(sink.count(), 0u);

    // A new block arrives: the bypass flag is set while timers are armed.
    ASSERT_EQ(load(), 0);
    timers.run_until(clock.now() + 100000);
    EXPECT_EQ(sink.count(), 3u);
    EXPECT_TRUE(pools_full());

    // Play again: packets flow through the new block.
    du_play();
    du_set_bypass(false);
    send(0, 100, 4);
    timers.run_until(clock.now() + 2000);
    EXPECT_EQ(sink.count(), 4u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, BypassDuringPlayKeepsTheQueueServed) {
    block.setEastOut(100000);
    play();
    for (int i = 0; i < 4; ++i)
        send(0, 1500, static_cast<uint8_t>(i));
    du_set_bypass(true); // a close, say
    // Caught between stages: a packet handed to a queue now passes on at once.
    send(0, 1500, 9);
    EXPECT_EQ(sink.count(), 1u);
    timers.run_until(clock.now() + 1000);
    EXPECT_EQ(sink.count(), 5u);
    EXPECT_TRUE(pools_full());
    // Play resumes with the queues empty and working.
    du_set_bypass(false);
    send(0, 1500, 10);
    timers.run_until(clock.now() + 10000);
    EXPECT_EQ(sink.count(), 6u);
}

TEST_F(EngineTest, LoadAnswersAndKeepsTheBlock) {
    // A good block sets the load flag; the first WAN-queued packet clears it.
    EXPECT_EQ(load(), 0);
    EXPECT_TRUE(du_context().loadFlag);
    EXPECT_EQ(du_context().blockLength, 3272u);
    EXPECT_EQ(models.loads, 1);

    const uint16_t good = wire::internet_checksum(block.data(), block.size());
    EXPECT_EQ(du_load_play_block(block.data(), block.size(), good ^ 0x10), 1);
    EXPECT_FALSE(du_context().loadFlag);
    ASSERT_NE(du_context().block, nullptr);
    EXPECT_EQ(du_context().block->adapterNumber(), 1);

    EXPECT_EQ(du_load_play_block(block.data(), 3271, good), 6);
    std::vector<uint8_t> longer(block.bytes());
    longer.push_back(0);
    EXPECT_EQ(du_load_play_block(longer.data(), longer.size(), good), 6);
    EXPECT_EQ(du_context().blockLength, 3273u);

    // A short block is kept, padded, and read safely.
    EXPECT_EQ(du_load_play_block(block.data(), 100, good), 6);
    EXPECT_EQ(du_context().blockLength, 100u);
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(send(0), EdgeResult::Emulated); // adapter 1 lies within the 100 bytes
    EXPECT_EQ(sink.count(), 1u);
}

TEST_F(EngineTest, FaultyBlockUsesTheAdapterNumberOfTheLastGoodOne) {
    const uint16_t good = wire::internet_checksum(block.data(), block.size());
    ASSERT_EQ(du_load_play_block(block.data(), block.size(), good ^ 1), 1);
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(send(0), EdgeResult::PassedOn); // no good block yet: adapter 0
    ASSERT_EQ(du_load_play_block(block.data(), block.size(), good), 0);
    block.setEastOut(100000);
    ASSERT_EQ(du_load_play_block(block.data(), block.size(), good), 1);
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(send(0, 1500), EdgeResult::Emulated);
    EXPECT_EQ(sink.count(), 1u); // the stored block's bandwidth applies
    EXPECT_NE(du_context().queues[0].head, nullptr);
}

TEST_F(EngineTest, LoadResetsStoresAndCounters) {
    block.setEastOut(100000);
    play();
    send(0, 1500);
    send(0, 1500);
    timers.run_until(clock.now() + 5000);
    EXPECT_GT(du_context().sequence, 0u);
    du_context().lossCounter = {3, 4};
    du_context().disconnectEndMs = 99;
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(du_context().sequence, 0u);
    EXPECT_EQ(du_context().capturedCount, 0u);
    EXPECT_EQ(du_context().listWriteCounters[0], 0u);
    EXPECT_EQ(list_entry(0, 0).sequence, 0u);
    EXPECT_EQ(du_context().lossCounter[1], 0u);
    EXPECT_EQ(du_context().disconnectEndMs, 0u);
    EXPECT_EQ(counter(wire::kCtrQueueMaxTotal + 1), 0u);
    EXPECT_EQ(du_context().emulationStartUs, clock.now());
}

TEST_F(EngineTest, NoEntryOrRecordMemoryDropsThePacketCleanly) {
    rte_shutdown();
    du_shutdown();
    RteConfig cfg;
    cfg.packetPoolSize = kPool;
    cfg.allocBlocks = 1; // a record but no queue entry
    ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
    adapter = rte_bind_adapter("tap0");
    ASSERT_TRUE(du_init(&models, &reporter));
    block.setEastOut(100000);
    play();
    send(0, 1500);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_TRUE(pools_full());

    // No timer can be armed for the head: it is dropped and the queue goes on.
    rte_shutdown();
    du_shutdown();
    ASSERT_TRUE(rte_init({kPool, 2048, 0}, {&clock, &random, &timers, &sink}));
    adapter = rte_bind_adapter("tap0");
    ASSERT_TRUE(du_init(&models, &reporter));
    play();
    timers.fail_next(1);
    send(0, 1500, 1);
    send(0, 1500, 2);
    EXPECT_EQ(sink.count(), 0u);
    timers.run_until(clock.now() + 5000);
    ASSERT_EQ(sink.count(), 1u);
    EXPECT_EQ(tag_of(0), 2);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, HeadDroppedForWantOfATimerGivesBackItsPlace) {
    // A head that cannot wait leaves the entry bucket and its queue counter behind it,
    // else a byte-limited bucket fills up for good.
    block.setEastOut(100000);
    play();
    timers.fail_next(1);
    send(0, 1500, 1);
    EXPECT_EQ(du_context().queues[0].head, nullptr);
    EXPECT_EQ(models.bucketRemovals, 1);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);
    EXPECT_TRUE(pools_full());

    // The WAN section gives back its queue counter the same way.
    block.setEastOut(wire::pb::kUnlimitedBandwidth);
    play();
    models.delays = {50000};
    timers.fail_next(1);
    send(0, 100, 2);
    EXPECT_EQ(counter(wire::kCtrWanPackets), 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, NoQueueEntryGivesBackTheBucketAndTheQueueCounter) {
    rte_shutdown();
    du_shutdown();
    RteConfig cfg;
    cfg.packetPoolSize = kPool;
    cfg.allocBlocks = 1; // a record but never a queue entry
    ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
    adapter = rte_bind_adapter("tap0");
    ASSERT_TRUE(du_init(&models, &reporter));

    // The entry link's queue.
    block.setEastOut(100000);
    play();
    send(0, 1500, 1);
    EXPECT_EQ(models.bucketRemovals, 1);
    EXPECT_EQ(counter(wire::kCtrEastQueued), 0u);

    // The WAN section's queue.
    block.setEastOut(wire::pb::kUnlimitedBandwidth);
    play();
    models.delays = {50000};
    send(0, 100, 2);
    EXPECT_EQ(counter(wire::kCtrWanPackets), 0u);

    // The exit link's queue (straight from the WAN exit right after the load).
    block.setWestIn(100000);
    play();
    models.bucketRemovals = 0;
    send(0, 1500, 3);
    EXPECT_EQ(models.bucketRemovals, 2); // leaving the entry link, then given back by the exit
    EXPECT_EQ(counter(wire::kCtrWestQueued), 0u);
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(EngineTest, StopLoadAndBypassFreeQueuedPacketsAlreadyDroppedAndSendTheRest) {
    // A lost, bucket-dropped or replaced packet never reappears when the emulation ends:
    // only the packet that was on its way goes out, whichever way it ends.
    enum End { Stop, Load, Bypass };
    for (End end : {Stop, Load, Bypass}) {
        sink.clear();
        // On the exit link, behind packet 1: 2 lost in the WAN, 3 refused by the entry
        // bucket, 4 replaced by its fragments at the WAN exit.
        block.setWestIn(100000); // 1.2 ms per 1,500-byte packet
        play();
        models.losses = {0, wire::kFlagLost, 0, 0};
        models.exitMarks = {0, wire::kFlagFragmented}; // 1 and 4 reach the exit effects
        send(0, 1500, 1);
        send(0, 1500, 2);
        models.refuseBucket = true;
        send(0, 1500, 3);
        models.refuseBucket = false;
        send(0, 1500, 4);
        ASSERT_EQ(du_context().queues[2].length, 4u) << end;
        ASSERT_EQ(sink.count(), 0u) << end;

        if (end == Stop)
            EXPECT_TRUE(du_stop());
        else if (end == Load)
            ASSERT_EQ(load(), 0);
        else
            du_set_bypass(true);
        timers.run_until(clock.now() + 10000);
        ASSERT_EQ(sink.count(), 1u) << end;
        EXPECT_EQ(tag_of(0), 1) << end;
        EXPECT_EQ(du_context().queues[2].head, nullptr) << end;
        EXPECT_TRUE(pools_full()) << end;
        du_stop();
    }
}

TEST_F(EngineTest, PeriodicTickKeepsReArmingWhileBypassedWithoutTheModels) {
    play();
    du_set_bypass(true); // a close while playing leaves the tick running
    timers.run_until(clock.now() + 3000000);
    EXPECT_EQ(reporter.statsPackets, 3);
    EXPECT_EQ(reporter.queueStats, 3);
    EXPECT_EQ(models.ticks, 0); // no disconnect or congestion starts while bypassed
    EXPECT_EQ(timers.armed(), 1u);
    EXPECT_GE(du_context().periodicTimer, 0);

    du_set_bypass(false);
    timers.run_until(clock.now() + 1000000);
    EXPECT_EQ(models.ticks, 1);
    EXPECT_EQ(reporter.statsPackets, 4);
    EXPECT_EQ(timers.armed(), 1u);

    EXPECT_TRUE(du_stop());
    EXPECT_EQ(timers.armed(), 0u);
    timers.run_until(clock.now() + 2000000);
    EXPECT_EQ(reporter.statsPackets, 4);
}

TEST_F(EngineTest, ABlockWithAFieldTheControlLibraryRefusesIsNotKept) {
    ASSERT_EQ(load(), 0);
    const uint16_t good = wire::internet_checksum(block.data(), block.size());
    block.setOutOfOrderChance(10);
    block.setOutOfOrderMinRange(60);
    block.setOutOfOrderMaxRange(5); // the span would wrap
    EXPECT_EQ(load(), 6);
    EXPECT_EQ(du_context().block, nullptr); // the earlier block went too
    EXPECT_EQ(du_context().blockLength, 0u);
    EXPECT_FALSE(du_context().loadFlag);
    // Nothing is emulated without a block.
    du_play();
    du_set_bypass(false);
    EXPECT_EQ(send(0), EdgeResult::PassedOn);

    // A header or checksum fault answers first; the block is not kept either.
    EXPECT_EQ(du_load_play_block(block.data(), block.size(), good), 1);
    EXPECT_EQ(du_context().block, nullptr);
    block.setFilterSize(3087);
    EXPECT_EQ(load(), 6);
    EXPECT_EQ(du_context().block, nullptr);
    EXPECT_EQ(models.loads, 4); // the state is reset whatever the answer
}
