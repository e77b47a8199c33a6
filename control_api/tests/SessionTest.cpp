// The session against a fake control device: play and stop sequences, the capture thread
// and its six requests, the hand-out, status and reset.
#include "AltirenAPI/Session.h"
#include "AltirenAPI/PacketText.h"
#include "AltirenPlayCheck/Defaults.h"
#include "ControlSocket/ControlClient.h"
#include "FakeDriver.h"
#include "ServiceRegistry.h"

#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace altiren_api;
using fake::FakeDevice;
using fake::FakeDriver;
namespace wire = quellin::wire;

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::write_file(dir / "quellin", "daemon");
        ASSERT_NO_FATAL_FAILURE(
            testsupport::register_service(dir.str(), (dir / "quellin").string()));
        device.run([](FakeDriver& d) {
            d.adapters = {{7, "lo"}};
            return 0;
        });
        set_default_play_params(params);
        params.adapterAddress = htonl(INADDR_LOOPBACK);
    }

    std::vector<uint16_t> commands() {
        return device.run([](FakeDriver& d) { return d.commands; });
    }
    bool all_pending() {
        return device.wait_for([](FakeDriver& d) { return d.pending.size() == 6; });
    }

    testsupport::TempDir dir{"session"};
    std::string path = (dir / "QL").string();
    FakeDevice device{path};
    Session session{SessionConfig{path, dir.str()}};
    PlayParameters params{};
};

using Commands = std::vector<uint16_t>;

} // namespace

TEST_F(SessionTest, DriverInstalledNeedsBothKeysAndTheDaemonFile) {
    EXPECT_TRUE(session.driverInstalled());
    std::filesystem::remove(dir / "quellin");
    EXPECT_FALSE(session.driverInstalled());
    EXPECT_EQ(session.play(params), -1);
    testsupport::TempDir empty{"session-empty"};
    Session other{SessionConfig{path, empty.str()}};
    EXPECT_FALSE(other.driverInstalled());
    uint32_t stats[12];
    EXPECT_EQ(other.lastSecondStatistics(stats), -1);
    EXPECT_EQ(other.forceDriverReset(), -1);
}

TEST_F(SessionTest, PlayLoadsTheBlockAndIssuesSixRequests) {
    ASSERT_EQ(session.play(params), 0);
    EXPECT_TRUE(session.playing());
    EXPECT_EQ(commands(), (Commands{1, 3, 6}));
    ASSERT_TRUE(all_pending());
    auto block = device.run([](FakeDriver& d) { return d.block; });
    ASSERT_EQ(block.size(), 3272u);
    auto loaded = wire::DriverPlayBlock::from_bytes(block.data(), block.size());
    EXPECT_EQ(loaded.adapterNumber(), 7);
    EXPECT_EQ(loaded.adapterAddress(), 0x7F000001u);
    EXPECT_EQ(loaded.adapterName(), "lo");
    EXPECT_EQ(loaded.eastOut(), 0xFFFFFFFFu);

    auto capacity = device.run([](FakeDriver& d) { return d.capacity; });
    EXPECT_EQ(capacity[wire::kIoctlCapturedPackets], 5000u * 76 + 4);
    EXPECT_EQ(capacity[wire::kIoctlPacketList0], 7000u * 10);
    EXPECT_EQ(capacity[wire::kIoctlCounters], 76u);

    uint32_t emulating = 5;
    EXPECT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 1u);

    EXPECT_EQ(session.bufferRecords(), 51724u + 5000);
    EXPECT_EQ(session.stop(), 0);
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(session.bufferRecords(), 0u); // not kept while stopped
    EXPECT_EQ(commands(), (Commands{1, 3, 6, 5, 2}));
    // The connection is closed at stop, not forgotten.
    EXPECT_TRUE(
        device.wait_for([&](FakeDriver&) { return device.server->connection_count() == 0; }));
    NuvexPacketList list{};
    EXPECT_EQ(session.getPacketList(list), 74);
    EXPECT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 0u);
}

TEST_F(SessionTest, UnknownAdapterAddressPlaysOnAdapterZero) {
    params.adapterAddress = htonl(0xC6120099);
    ASSERT_EQ(session.play(params), 0);
    auto block = device.run([](FakeDriver& d) { return d.block; });
    auto loaded = wire::DriverPlayBlock::from_bytes(block.data(), block.size());
    EXPECT_EQ(loaded.adapterNumber(), 0);
    EXPECT_EQ(loaded.adapterName(), "");
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, HandOutGivesEachRecordOnce) {
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    ASSERT_TRUE(device.run([](FakeDriver& d) {
        bool ok = d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(3, 100));
        wire::PacketListEntry e{100, 0x01, 5000};
        fake::Bytes entry(10);
        e.encode(entry.data());
        return ok && d.complete(wire::kIoctlPacketList3, entry);
    }));
    // Both re-issued once taken.
    ASSERT_TRUE(all_pending());

    NuvexPacketList list{};
    list.listsWanted = 1;
    ASSERT_EQ(session.getPacketList(list), 0);
    ASSERT_EQ(list.recordCount, 3u);
    EXPECT_EQ(list.records[2].sequence, 102u);
    EXPECT_EQ(list.records[1].side, 1);
    packet::Bytes second(list.records[2].packet, packet::kCapturedBytes);
    EXPECT_EQ(packet::address_text(second, true), "198.18.0.2");
    EXPECT_EQ(packet::port(second, true), 12345);
    ASSERT_EQ(list.listCounts[3], 1u);
    EXPECT_EQ(list.lists[3][0].sequence, 100u);
    EXPECT_EQ(list.lists[3][0].flags, 1);
    EXPECT_EQ(list.lists[3][0].timeOfDay, 5000u);
    EXPECT_EQ(list.listCounts[0], 0u);
    Session::freePackets(list);
    EXPECT_EQ(list.records, nullptr);
    EXPECT_EQ(list.lists[3], nullptr);

    // Nothing new: nothing handed out.
    ASSERT_EQ(session.getPacketList(list), 0);
    EXPECT_EQ(list.recordCount, 0u);
    EXPECT_EQ(list.records, nullptr);
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, ShortCompletionsCarryNoData) {
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.run([](FakeDriver& d) {
        d.complete(wire::kIoctlCapturedPackets, fake::Bytes(3, 0xAA));
        fake::Bytes counters(75, 1);
        return d.complete(wire::kIoctlCounters, counters);
    });
    ASSERT_TRUE(all_pending());
    NuvexPacketList list{};
    ASSERT_EQ(session.getPacketList(list), 0);
    EXPECT_EQ(list.recordCount, 0u);
    uint32_t stats[12];
    ASSERT_EQ(session.lastSecondStatistics(stats), 0);
    for (uint32_t s : stats)
        EXPECT_EQ(s, 0u);

    // A byte count larger than what arrived is not believed either.
    device.run([](FakeDriver& d) {
        return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(1), 5000 * 76 + 4);
    });
    ASSERT_TRUE(all_pending());
    ASSERT_EQ(session.getPacketList(list), 0);
    EXPECT_EQ(list.recordCount, 1u);
    Session::freePackets(list);
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, LastSecondStatisticsMapTheCounters) {
    uint32_t stats[12];
    EXPECT_EQ(session.lastSecondStatistics(stats), 74);
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.run([](FakeDriver& d) {
        wire::DriverCounters c;
        for (size_t i = 0; i < c.values.size(); ++i)
            c.values[i] = 100 + static_cast<uint32_t>(i);
        fake::Bytes bytes(76);
        c.encode(bytes.data());
        return d.complete(wire::kIoctlCounters, bytes);
    });
    ASSERT_TRUE(all_pending());
    ASSERT_EQ(session.lastSecondStatistics(stats), 0);
    const uint32_t expected[12] = {113, 116, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(stats[i], expected[i]) << i;
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, PlayWhilePlayingStops) {
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(session.play(params), 0);
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(commands(), (Commands{1, 3, 6, 5, 2}));
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(commands(), (Commands{1, 3, 6, 5, 2, 1, 3, 6}));
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, OpenAnswersAreMapped) {
    const std::pair<uint16_t, int> cases[] = {{3, 84}, {4, 85}, {5, 87}, {9, -1}};
    for (auto [answer, code] : cases) {
        device.run([answer](FakeDriver& d) {
            d.commands.clear();
            d.openAnswer = answer;
            return 0;
        });
        EXPECT_EQ(session.play(params), code) << answer;
        Commands expected = answer == 3 || answer == 4 ? Commands{1, 2} : Commands{1};
        EXPECT_EQ(commands(), expected) << answer;
        EXPECT_FALSE(session.playing());
    }
    // A session open elsewhere: 86, and the handle is kept.
    device.run([](FakeDriver& d) {
        d.commands.clear();
        d.openAnswer.reset();
        d.session = true;
        return 0;
    });
    EXPECT_EQ(session.play(params), 86);
    EXPECT_EQ(session.play(params), 0);
    EXPECT_EQ(commands(), (Commands{1, 3, 6}));
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, FailedLoadStartsNoCapture) {
    device.run([](FakeDriver& d) {
        d.loadAnswer = 6;
        return 0;
    });
    EXPECT_EQ(session.play(params), -1);
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(session.bufferRecords(), 0u);
    EXPECT_EQ(commands(), (Commands{1, 3}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.run([](FakeDriver& d) { return d.capacity.size(); }), 0u);
}

TEST_F(SessionTest, CheckFailureSendsNothing) {
    params.maxDelay = 9000;
    EXPECT_EQ(session.play(params), 5);
    EXPECT_TRUE(commands().empty());
}

TEST_F(SessionTest, BufferModeTwoStopsFromTheCaptureThread) {
    ASSERT_EQ(session.setPacketListBufferOptions(1, 2), 0); // full at 8 records
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.run([](FakeDriver& d) {
        return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(9));
    });
    ASSERT_TRUE(device.wait_for([](FakeDriver& d) { return d.commands.size() == 5; }));
    EXPECT_EQ(commands(), (Commands{1, 3, 6, 5, 2}));
    for (int i = 0; i < 500 && session.playing(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(session.bufferRecords(), 0u);
    // The next play starts afresh.
    ASSERT_EQ(session.setPacketListBufferOptions(6000, 1), 0);
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, BufferModeOneFlushesWhenFull) {
    ASSERT_EQ(session.setPacketListBufferOptions(1, 1), 0);
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.run([](FakeDriver& d) {
        return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(9));
    });
    ASSERT_TRUE(device.wait_for(
        [](FakeDriver& d) { return !d.commands.empty() && d.commands.back() == 10; }));
    ASSERT_TRUE(all_pending());
    NuvexPacketList list{};
    ASSERT_EQ(session.getPacketList(list), 0);
    EXPECT_EQ(list.recordCount, 0u);
    EXPECT_TRUE(session.playing());
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, BufferModeZeroWaitsForRoomBeforeAskingAgain) {
    ASSERT_EQ(session.setPacketListBufferOptions(1, 0), 0); // 8 + 5,000 records of room
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.run([](FakeDriver& d) {
        return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(5000));
    });
    ASSERT_TRUE(all_pending());
    EXPECT_EQ(device.run([](FakeDriver& d) { return d.capacity[wire::kIoctlCapturedPackets]; }),
              8u * 76 + 4);
    device.run([](FakeDriver& d) {
        return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(8));
    });
    // Time for the capture thread to take the eight, generous for a loaded machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(
        device.run([](FakeDriver& d) { return d.pending.count(wire::kIoctlCapturedPackets); }), 0u);
    NuvexPacketList list{};
    ASSERT_EQ(session.getPacketList(list), 0);
    EXPECT_EQ(list.recordCount, 5008u);
    Session::freePackets(list);
    ASSERT_TRUE(all_pending()); // room again: asked again
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, ResetStopsAnEmulationLeftByAKilledClient) {
    {
        // Another client plays and goes away without stopping.
        quellin::ctlsock::ControlClient other;
        ASSERT_TRUE(other.open(path));
        ASSERT_EQ(Session::sendCommand(other, 1), 0);
        auto block = wire::DriverPlayBlock();
        ASSERT_EQ(Session::sendCommand(other, 3, block.data(), block.size()), 0);
        ASSERT_EQ(Session::sendCommand(other, 6), 0);
        for (uint32_t code :
             {wire::kIoctlCapturedPackets, wire::kIoctlPacketList0, wire::kIoctlPacketList1,
              wire::kIoctlPacketList2, wire::kIoctlPacketList3, wire::kIoctlCounters})
            ASSERT_NE(other.submit(code, {}, 76), 0u);
        ASSERT_TRUE(device.wait_for([](FakeDriver& d) { return !d.bypass; }));
    }
    uint32_t emulating = 0;
    ASSERT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 1u);
    EXPECT_EQ(session.play(params), 86); // the other session is still open
    EXPECT_EQ(session.forceDriverReset(), 0);
    ASSERT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 0u);
    EXPECT_EQ(session.forceDriverReset(), 0); // nothing to reset
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, DriverStoppedElsewhereIsNotAskedInASpin) {
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    // Another client stops the driver: the requests come back empty, and new ones are
    // answered at once without data.
    device.run([](FakeDriver& d) {
        d.bypass = true;
        d.countdown = 0;
        for (uint32_t code :
             {wire::kIoctlCapturedPackets, wire::kIoctlPacketList0, wire::kIoctlPacketList1,
              wire::kIoctlPacketList2, wire::kIoctlPacketList3, wire::kIoctlCounters})
            d.complete(code, {}, 76);
        d.requests.clear();
        return 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int asked = device.run([](FakeDriver& d) { return d.requests[wire::kIoctlCapturedPackets]; });
    EXPECT_LE(asked, 5);
    EXPECT_TRUE(session.playing());
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, HandOutWhileTheCaptureThreadFillsTheBuffers) {
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    std::atomic<bool> done{false};
    std::atomic<size_t> taken{0};
    std::vector<uint32_t> seen;
    std::atomic<size_t> entries{0};
    std::thread client([&] {
        uint32_t stats[12];
        while (!done) {
            NuvexPacketList list{};
            list.listsWanted = 1;
            if (session.getPacketList(list) == 0) {
                for (uint32_t i = 0; i < list.recordCount; ++i)
                    seen.push_back(list.records[i].sequence);
                entries += list.listCounts[0];
                taken = seen.size();
                Session::freePackets(list);
            }
            session.lastSecondStatistics(stats);
        }
    });
    constexpr uint32_t kRounds = 40, kPerRound = 10;
    for (uint32_t r = 0; r < kRounds; ++r) {
        ASSERT_TRUE(device.run([r](FakeDriver& d) {
            fake::Bytes entry(10);
            wire::PacketListEntry{r, 0, 0}.encode(entry.data());
            return d.complete(wire::kIoctlCapturedPackets,
                              FakeDriver::records(kPerRound, 1 + r * kPerRound)) &&
                   d.complete(wire::kIoctlPacketList0, entry) &&
                   d.complete(wire::kIoctlCounters, fake::Bytes(76, 1));
        }));
        ASSERT_TRUE(all_pending());
    }
    // Let the client take what is left, then stop under its feet.
    for (int i = 0; i < 500 && (taken < kRounds * kPerRound || entries < kRounds); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(session.stop(), 0);
    done = true;
    client.join();
    // Each record handed out once, none lost.
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen.size(), size_t{kRounds * kPerRound});
    EXPECT_EQ(entries.load(), size_t{kRounds});
}

TEST_F(SessionTest, StopRacesWithTheCaptureThreadStoppingItself) {
    ASSERT_EQ(session.setPacketListBufferOptions(1, 2), 0);
    for (int round = 0; round < 10; ++round) {
        ASSERT_EQ(session.play(params), 0) << round;
        ASSERT_TRUE(all_pending());
        device.run([](FakeDriver& d) {
            return d.complete(wire::kIoctlCapturedPackets, FakeDriver::records(9));
        });
        if (round % 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(round));
        // Whichever comes first stops; the other finds nothing left to do.
        int rc = session.stop();
        EXPECT_TRUE(rc == 0 || rc == -1) << rc;
        EXPECT_FALSE(session.playing());
        EXPECT_EQ(session.bufferRecords(), 0u);
        EXPECT_TRUE(device.wait_for([&](FakeDriver&) {
            return device.server->connection_count() == 0;
        })) << round;
    }
}

TEST_F(SessionTest, DriverGoneWhilePlayingStillStopsCleanly) {
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    device.loop.run([&] {
        device.server->close();
        return 0;
    });
    // The capture thread sees the connection go and ends.
    for (int i = 0; i < 500 && session.captureResult() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(session.captureResult(), -1);
    // Commands 5 and 2 fail, yet the thread is joined and everything let go.
    EXPECT_EQ(session.stop(), -1);
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(session.bufferRecords(), 0u);
    // A driver that comes back (restarted: no session open) is opened afresh.
    device.loop.run([&] {
        device.driver = FakeDriver{};
        device.driver.server = device.server.get();
        return device.server->listen(path) ? 0 : 1;
    });
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, AKeptConnectionThatWasLostIsOpenedAfresh) {
    // A session open elsewhere: 86, and the connection is kept.
    device.run([](FakeDriver& d) {
        d.session = true;
        return 0;
    });
    EXPECT_EQ(session.play(params), 86);
    // The daemon restarts: the kept connection is dead.
    device.loop.run([&] {
        device.server->close();
        device.driver = FakeDriver{};
        device.driver.server = device.server.get();
        device.driver.adapters = {{7, "lo"}};
        return device.server->listen(path) ? 0 : 1;
    });
    EXPECT_EQ(session.play(params), -1);
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(commands(), (Commands{1, 3, 6}));
    EXPECT_EQ(session.stop(), 0);
}

TEST_F(SessionTest, BufferOptions) {
    EXPECT_EQ(session.setPacketListBufferOptions(6000, 3), 78);
    EXPECT_EQ(session.setPacketListBufferOptions(6000, -1), 78);
    EXPECT_EQ(session.setPacketListBufferOptions(0, 1), 77);
    EXPECT_EQ(session.setPacketListBufferOptions(0xFFFFFFFFu, 1), 77);
    ASSERT_EQ(session.play(params), 0);
    EXPECT_EQ(session.setPacketListBufferOptions(6000, 1), 75);
    EXPECT_EQ(session.stop(), 0);
}

TEST(SessionCapacity, ComputedIn64Bits) {
    EXPECT_EQ(Session::packetCapacity(6000), 51724u);
    EXPECT_EQ(Session::packetCapacity(1), 8u);
    EXPECT_EQ(Session::packetCapacity(0xFFFFFFFFu), 37025580129ull);
}

TEST(SessionNoDevice, StatusAndStopWithoutADevice) {
    testsupport::TempDir dir{"nodev"};
    Session session{SessionConfig{(dir / "missing").string(), dir.str()}};
    uint32_t emulating = 0;
    EXPECT_EQ(session.getStatus(emulating), -1);
    EXPECT_EQ(session.stop(), -1);
}
