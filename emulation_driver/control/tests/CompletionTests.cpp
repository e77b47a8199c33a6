#include "ControlFixture.h"

#include "quellin_wire/Records.h"

using namespace quellin;
using namespace quellin::test;

namespace {
constexpr uint64_t kSecondUs = 1000000;
}

TEST_F(ControlTest, CapturedPacketsCompleteWithRecordsAndTheTimeWord) {
    Six six = start_playing();
    send(0, 100, 0xA1);
    send(1, 100, 0xB2);
    timers.run_until(clock.now() + kSecondUs);
    const IoCompletion& c = completer.of(six.captured);
    ASSERT_EQ(c.information, 2u * 76u + 4u);
    ASSERT_EQ(c.output.size(), c.information);
    auto first = wire::PacketRecord::decode(c.output.data());
    auto second = wire::PacketRecord::decode(c.output.data() + 76);
    EXPECT_EQ(first.side, 0);
    EXPECT_EQ(second.side, 1);
    EXPECT_EQ(first.data[28], 0xA1); // the packet from its IP header on
    EXPECT_EQ(second.data[28], 0xB2);
    EXPECT_EQ(wire::get_u32(c.output.data(), 152), rte_gettimeofday());
    EXPECT_EQ(du_context().capturedCount, 0);
}

TEST_F(ControlTest, CapturedPacketsNeverPassTheCallersBuffer) {
    // Room for two records and the time word, with ten bytes to spare, and five waiting.
    Six six = start_playing(4 + 2 * 76 + 10);
    for (int i = 0; i < 5; ++i)
        send(0);
    timers.run_until(clock.now() + kSecondUs);
    const IoCompletion& c = completer.of(six.captured);
    EXPECT_EQ(c.information, 2u * 76u + 4u);
    EXPECT_LE(c.output.size(), 4u + 2u * 76u + 10u);

    // A buffer for the time word alone gets just that.
    IoRequestId tiny = request(wire::kIoctlCapturedPackets, 4);
    send(0);
    timers.run_until(clock.now() + kSecondUs);
    EXPECT_EQ(completer.of(tiny).information, 4u);
}

TEST_F(ControlTest, CapturedPacketsCompleteEarlyAt25UnsentRecords) {
    Six six = start_playing();
    for (int i = 0; i < 24; ++i)
        send(0);
    EXPECT_FALSE(completer.completed(six.captured));
    send(0);
    ASSERT_TRUE(completer.completed(six.captured));
    EXPECT_EQ(completer.of(six.captured).information, 25u * 76u + 4u);
    EXPECT_FALSE(completer.completed(six.counters)); // counters only with the tick
}

TEST_F(ControlTest, TheStoreWrapsAfter5000AndTheNewestOverwriteTheOldest) {
    start_playing();
    command(10); // empties the slots: no early completion while filling the store
    for (int i = 0; i < 5003; ++i)
        send(0);
    EXPECT_EQ(du_context().capturedCount, 2);
    IoRequestId id = request(wire::kIoctlCapturedPackets, 380004);
    timers.run_until(clock.now() + kSecondUs);
    const IoCompletion& c = completer.of(id);
    ASSERT_EQ(c.information, 2u * 76u + 4u);
    EXPECT_EQ(wire::PacketRecord::decode(c.output.data()).sequence, 5002u);
    EXPECT_EQ(wire::PacketRecord::decode(c.output.data() + 76).sequence, 5003u);
}

TEST_F(ControlTest, PacketListsHandOutTheirEntriesAndAFullListWhole) {
    Six six = start_playing(380004, 25);
    send(0);
    send(0);
    send(0);
    timers.run_until(clock.now() + kSecondUs);
    // List 2 (the West gateway's station side) saw three outbound packets; the caller's
    // 25 bytes hold two entries.
    const IoCompletion& west = completer.of(six.lists[2]);
    EXPECT_EQ(west.information, 20u);
    auto e = wire::PacketListEntry::decode(west.output.data());
    EXPECT_EQ(e.sequence, 1u);
    EXPECT_EQ(e.timeOfDayMs, 3600000u);

    // Exactly 7,000 entries, and far more than the u16 counter holds: all 7,000.
    for (uint32_t n : {7000u, 70001u}) {
        IoRequestId id = request(wire::kIoctlPacketList0, 70000);
        for (uint32_t i = 0; i < n; ++i)
            du_write_list_entry(0, i, 0);
        timers.run_until(clock.now() + kSecondUs);
        EXPECT_EQ(completer.of(id).information, 70000u) << n;
    }

    // Nothing to hand out while playing: the request stays pending.
    IoRequestId idle = request(wire::kIoctlPacketList1, 70000);
    timers.run_until(clock.now() + kSecondUs);
    EXPECT_FALSE(completer.completed(idle));
}

TEST_F(ControlTest, CountersCompleteEachSecondAndThePerSecondOnesReset) {
    Six six = start_playing();
    auto& v = du_context().counters.values;
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint32_t>(100 + i);
    v[0] = 0;
    du_context().bucketFill[kBucketEast] = 4321;
    timers.run_until(clock.now() + kSecondUs);
    const IoCompletion& c = completer.of(six.counters);
    ASSERT_EQ(c.information, 76u);
    auto got = wire::DriverCounters::decode(c.output.data());
    EXPECT_EQ(got.values[0], 4321u); // the current fill where the peak was 0
    EXPECT_EQ(got.values[1], 101u);
    for (size_t i = 2; i < 19; ++i)
        EXPECT_EQ(got.values[i], 100 + i);
    for (size_t i : {0, 1, 4, 5, 13, 14, 15})
        EXPECT_EQ(v[i], 0u) << i;
    for (size_t i : {2, 3, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18})
        EXPECT_EQ(v[i], 100 + i) << i;
}

TEST_F(ControlTest, RequestsAnsweredAtOnceReportNoBytesAndNoneHangs) {
    command(1);
    // Bypassed with no countdown: done at once, byte count 0, not the buffer's length.
    for (uint32_t code :
         {wire::kIoctlCapturedPackets, wire::kIoctlPacketList3, wire::kIoctlCounters}) {
        std::optional<IoCompletion> now;
        request(code, 1000, &now);
        ASSERT_TRUE(now) << code;
        EXPECT_EQ(now->status, wire::kStatusSuccess);
        EXPECT_EQ(now->information, 0u);
        EXPECT_TRUE(now->output.empty());
    }

    Six six = start_playing();
    // Zero-length buffers, the counters' included, complete at once.
    for (uint32_t code : {wire::kIoctlCapturedPackets, wire::kIoctlCounters}) {
        std::optional<IoCompletion> now;
        request(code, 0, &now);
        ASSERT_TRUE(now) << code;
        EXPECT_EQ(now->information, 0u);
    }
    std::optional<IoCompletion> small;
    request(wire::kIoctlCounters, 75, &small);
    EXPECT_EQ(small->status, wire::kStatusBufferTooSmall);
    request(wire::kIoctlCapturedPackets, 3, &small);
    EXPECT_EQ(small->status, wire::kStatusBufferTooSmall);

    // A second request of a code answers the first, empty.
    IoRequestId newer = request(wire::kIoctlCounters, 76);
    ASSERT_TRUE(completer.completed(six.counters));
    EXPECT_EQ(completer.of(six.counters).information, 0u);
    EXPECT_FALSE(completer.completed(newer));

    // A request whose caller went away is forgotten.
    device.discard(newer);
    EXPECT_FALSE(device.pending(5));
    timers.run_until(clock.now() + kSecondUs);
    EXPECT_FALSE(completer.completed(newer));
}
