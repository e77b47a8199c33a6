#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/Resource.h"
#include "FakeNuvexControl.h"
#include "PacketBuilder.h"

#include <TestSupport/TempDir.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

using Batch = FakeNuvexControl::Batch;

// Adds one captured packet and its entry in a packet list.
void Add(Batch& batch, uint32_t sequence, uint16_t side, const PacketSpec& spec, uint32_t list = 0,
         uint16_t flags = 0, uint32_t time = 50000) {
    batch.records.push_back(RecordFromWire(WireRecord(sequence, side, spec)));
    batch.lists[list].push_back(EntryFromWire(sequence, flags, time));
}

// An outbound UDP packet of list 0.
Batch Udp(uint32_t sequence, uint16_t sourcePort = 5000, uint16_t size = 100) {
    Batch batch;
    PacketSpec spec;
    spec.sourcePort = sourcePort;
    spec.totalLength = size;
    Add(batch, sequence, 1, spec);
    return batch;
}

StatisticsParam UdpParam(uint16_t sourcePort = 5000) {
    StatisticsParam param;
    param.sourceAddress = "198.18.0.1";
    param.sourcePort = sourcePort;
    param.destinationAddress = "198.18.1.2";
    param.destinationPort = 7;
    param.protocol = "UDP";
    return param;
}

class CountingConsumer : public IStatisticsConsumer {
public:
    void OnClearStatisticsBuffer() override { ++clears; }
    int clears = 0;
};

class StatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(reg.createKey(Hive::LocalMachine, CClientSettings::kSettingsKey), 0);
    }
    void Put(const char* name, uint32_t value) {
        ASSERT_EQ(reg.setValue(Hive::LocalMachine, CClientSettings::kSettingsKey, name,
                               Value::Dword(value)),
                  0);
    }
    void Tick(Batch batch) {
        control.batches.push_back(std::move(batch));
        manager.OnTimer(IDT_STATISTICS_POLL);
    }
    StatisticsMap Current() {
        StatisticsMap map;
        std::string time;
        EXPECT_EQ(manager.GetLastSecondStatistics(map, time), 1);
        return map;
    }

    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    testsupport::TempDir dir{"statistics"};
    Registry reg{dir.str()};
    FakeNuvexControl control;
    CAltirenStatisticsManager manager{control, Registry(dir.str())};
};

TEST(ConnectionKeyTest, RunsTheFieldsTogether) {
    EXPECT_EQ(ConnectionKey("10.0.0.1", 80, "10.0.0.2", 1025, "TCP"), "10.0.0.18010.0.0.21025TCP");
    EXPECT_EQ(ConnectionKey("a", 65535, "b", 0, "ICMP"), "a65535b0ICMP");
    EXPECT_EQ(FormatStatisticsTime(12000), "00:00:12");
    EXPECT_EQ(FormatStatisticsTime(25 * 3600000u + 61000), "01:01:01");
}

TEST(ConnectionKeyTest, GraphWindowKeyNamesDestinationFirstAndReadsBack) {
    StatisticsParam param;
    param.sourceAddress = "10.0.0.1";
    param.sourcePort = 80;
    param.destinationAddress = "10.0.0.2";
    param.destinationPort = 1025;
    param.protocol = "TCP";
    const std::string key = GraphWindowKey(param);
    EXPECT_EQ(key, "10.0.0.2_1025_10.0.0.1_80_TCP");
    const StatisticsParam back = StringIdToStatisticsParam(key);
    EXPECT_EQ(back.sourceAddress, "10.0.0.1");
    EXPECT_EQ(back.sourcePort, 80u);
    EXPECT_EQ(back.destinationAddress, "10.0.0.2");
    EXPECT_EQ(back.destinationPort, 1025u);
    EXPECT_EQ(back.protocol, "TCP");

    // IPv6 addresses and the blank protocol word of unknown protocols come back whole.
    param.sourceAddress = "2001:2::1";
    param.destinationAddress = "2001:2::2";
    param.sourcePort = 0;
    param.destinationPort = 0;
    param.protocol = " ";
    const StatisticsParam v6 = StringIdToStatisticsParam(GraphWindowKey(param));
    EXPECT_EQ(v6.sourceAddress, "2001:2::1");
    EXPECT_EQ(v6.destinationAddress, "2001:2::2");
    EXPECT_EQ(v6.protocol, " ");

    // A text without separators names only a destination.
    const StatisticsParam bare = StringIdToStatisticsParam("10.0.0.9");
    EXPECT_EQ(bare.destinationAddress, "10.0.0.9");
    EXPECT_TRUE(bare.sourceAddress.empty());
    EXPECT_TRUE(bare.protocol.empty());
}

TEST_F(StatisticsTest, FirstClockIsTheFirstStampRoundedDown) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch batch = Udp(1);
    batch.lists[0][0].timeOfDay = 12345;
    Tick(batch);
    EXPECT_EQ(manager.GetClock(), 12000u);
    EXPECT_EQ(control.lastListsWanted, 1u);

    // An empty result advances a known clock by one second and still adds a second.
    Tick(Batch{});
    EXPECT_EQ(manager.GetClock(), 13000u);
    EXPECT_EQ(manager.GetHistorySize(), 2u);
    StatisticsMap map = Current();
    ASSERT_EQ(map.size(), 1u);
    const ConnectionStatistics& quiet = map.begin()->second;
    EXPECT_EQ(quiet.framesLastSecond, 0u);
    EXPECT_EQ(quiet.bytesLastSecond, 0u);
    EXPECT_EQ(quiet.totalFrames, 1u);
    EXPECT_EQ(quiet.timeStamp, 13000u); // a quiet record moves on with the clock
    EXPECT_EQ(control.freeCalls, 2);
}

TEST_F(StatisticsTest, ClockFromListThreeWhenListZeroIsEmpty) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch batch;
    Add(batch, 1, 0, PacketSpec{}, 3, 0, 7999);
    Tick(batch);
    EXPECT_EQ(manager.GetClock(), 7000u);
}

TEST_F(StatisticsTest, EmptyResultsLeaveAnUnknownClockUnknown) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Tick(Batch{});
    Tick(Batch{});
    EXPECT_EQ(manager.GetClock(), 0u);
    EXPECT_EQ(manager.GetHistorySize(), 2u);
}

TEST_F(StatisticsTest, FailedRequestSkipsTheTick) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Tick(Udp(1));
    Batch refused;
    refused.result = NUVEX_RC_NOT_PLAYING;
    Tick(refused);
    EXPECT_EQ(manager.GetClock(), 50000u);
    EXPECT_EQ(manager.GetHistorySize(), 1u);
    EXPECT_EQ(control.freeCalls, 1);
}

TEST_F(StatisticsTest, PacketsGoBackWhenFoldingFails) {
    ASSERT_EQ(manager.StartPoll(), 1);
    control.throwInDecode = true;
    Tick(Udp(1));
    EXPECT_EQ(control.freeCalls, 1);
    control.throwInDecode = false;
    Tick(Udp(2));
    EXPECT_EQ(Current().size(), 1u); // the lock was given back too
}

TEST_F(StatisticsTest, KindWordAndFlagRules) {
    struct Row {
        uint32_t list;
        uint16_t side;
        uint16_t flags;
        bool counted;
    } rows[] = {
        {0, 0, 0, false},      {0, 1, 0, true},       {3, 1, 0, false},      {3, 0, 0, true},
        {0, 1, 0x0002, true},  {0, 1, 0x0041, false}, {0, 1, 0x0001, false}, {0, 1, 0x0008, false},
        {0, 1, 0x0040, false}, {0, 1, 0x0080, false}, {0, 1, 0x0100, false}, {0, 1, 0x0234, true},
        {1, 1, 0, false},      {2, 0, 0, false},
    };
    ASSERT_EQ(manager.StartPoll(), 1);
    for (const Row& row : rows) {
        manager.ClearStatisticsBuffer();
        Batch batch;
        Add(batch, 7, row.side, PacketSpec{}, row.list, row.flags);
        Tick(batch);
        EXPECT_EQ(Current().size(), row.counted ? 1u : 0u)
            << "list " << row.list << " kind " << row.side << " flags " << row.flags;
    }
}

TEST_F(StatisticsTest, ProtocolNamesAreNormalised) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch batch;
    PacketSpec tcp;
    tcp.protocol = 6;
    tcp.sourcePort = 40000;
    tcp.destinationPort = 80;
    tcp.tcpFlags = 0x18; // " ack push seq= ..." follows the name
    Add(batch, 1, 1, tcp);
    tcp.tcpFlags = 0x02;
    Add(batch, 2, 1, tcp);
    PacketSpec icmp;
    icmp.protocol = 1;
    icmp.icmpType = 8; // "ICMP  echo request"
    Add(batch, 3, 1, icmp);
    icmp.icmpType = 0; // "ICMP  echo reply"
    Add(batch, 4, 1, icmp);
    Add(batch, 5, 1, PacketSpec{});
    Tick(batch);

    StatisticsMap map = Current();
    ASSERT_EQ(map.size(), 3u);
    const ConnectionStatistics& t = map.at("198.18.0.140000198.18.1.280TCP");
    EXPECT_EQ(t.totalFrames, 2u);
    EXPECT_EQ(t.protocolNumber, 6u);
    const ConnectionStatistics& i = map.at("198.18.0.10198.18.1.20ICMP");
    EXPECT_EQ(i.totalFrames, 2u);
    EXPECT_EQ(i.sourcePort, 0u);
    EXPECT_EQ(i.protocolNumber, 1u);
    const ConnectionStatistics& u = map.at("198.18.0.15000198.18.1.27UDP");
    EXPECT_EQ(u.protocol, "UDP");
    EXPECT_EQ(u.sourceAddress, "198.18.0.1");
    EXPECT_EQ(u.destinationAddress, "198.18.1.2");
    EXPECT_EQ(u.destinationPort, 7u);
}

TEST_F(StatisticsTest, CountersOfSecondsAndTotals) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch batch;
    PacketSpec spec;
    spec.totalLength = 100;
    Add(batch, 1, 1, spec);
    spec.totalLength = 1500;
    Add(batch, 2, 1, spec);
    Tick(batch);
    Tick(Udp(3, 5000, 60));

    HistoryPoint point;
    ASSERT_EQ(manager.GetLastSecondStatistics(UdpParam(), point), 1);
    EXPECT_EQ(point.framesLastSecond, 1u);
    EXPECT_EQ(point.bytesLastSecond, 60u);
    EXPECT_EQ(point.totalFrames, 3u);
    EXPECT_EQ(point.totalBytes, 1660u);
    EXPECT_EQ(point.timeText, "00:00:51");

    std::vector<HistoryPoint> history;
    ASSERT_EQ(manager.GetHistoryStatistics(UdpParam(), history), 1);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].bytesLastSecond, 1600u);
    EXPECT_EQ(history[0].timeText, "00:00:50");
    EXPECT_EQ(history[1].totalBytes, 1660u);
    EXPECT_EQ(history[1].timeText, "00:00:51");
}

TEST_F(StatisticsTest, LargeIpv6PacketsCountWhole) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch batch;
    PacketSpec spec;
    spec.ipv6 = true;
    spec.totalLength = 65535; // payload; the packet is 65,575 bytes
    Add(batch, 1, 1, spec);
    Tick(batch);
    StatisticsMap map = Current();
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->second.totalBytes, 65575u);
    EXPECT_EQ(map.begin()->second.sourceAddress, "2001:2::1");
}

TEST_F(StatisticsTest, UnknownConnections) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Tick(Udp(1));
    HistoryPoint point;
    point.totalBytes = 99;
    EXPECT_EQ(manager.GetLastSecondStatistics(UdpParam(6000), point), 1);
    EXPECT_EQ(point.totalBytes, 0u);
    EXPECT_EQ(point.timeText, "00:00:50");

    std::vector<HistoryPoint> history(3);
    EXPECT_EQ(manager.GetHistoryStatistics(UdpParam(6000), history), 0);
    EXPECT_TRUE(history.empty());
}

TEST_F(StatisticsTest, HistoryStartsAtTheConnectionsFirstSecond) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Tick(Udp(1));
    Tick(Udp(2));
    Tick(Udp(3, 6000));
    Tick(Batch{});
    std::vector<HistoryPoint> history;
    ASSERT_EQ(manager.GetHistoryStatistics(UdpParam(6000), history), 1);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].framesLastSecond, 1u);
    EXPECT_EQ(history[1].framesLastSecond, 0u);
    EXPECT_EQ(history[1].totalFrames, 1u);
    EXPECT_EQ(history[1].timeText, "00:00:53");
}

TEST_F(StatisticsTest, BeyondMaxPairsNewConnectionsAreNotCountedAndTheHeldOnesKeepTheirTotals) {
    Put("MaxPairs", 50);
    ASSERT_EQ(manager.StartPoll(), 1);
    CountingConsumer first, second;
    ASSERT_EQ(manager.AddConsumer(&first), 1);
    ASSERT_EQ(manager.AddConsumer(&second), 1);
    EXPECT_EQ(manager.AddConsumer(nullptr), 0);

    // 60 connections, one packet each, every tick.
    auto sixty = [](uint32_t firstSequence) {
        Batch batch;
        for (uint16_t i = 0; i < 60; ++i) {
            PacketSpec spec;
            spec.sourcePort = static_cast<uint16_t>(10000 + i);
            Add(batch, firstSequence + i, 1, spec);
        }
        return batch;
    };
    for (uint32_t tick = 0; tick < 4; ++tick) {
        Tick(sixty(1 + 100 * tick));
        const StatisticsMap map = Current();
        ASSERT_EQ(map.size(), 50u) << "tick " << tick;
        for (const auto& [key, connection] : map) {
            // The first 50 seen are held; their totals grow each tick.
            EXPECT_LT(connection.sourcePort, 10050u) << key;
            EXPECT_EQ(connection.totalFrames, tick + 1) << key;
            EXPECT_EQ(connection.framesLastSecond, 1u) << key;
        }
    }
    // Nothing was dropped: no consumer was told, and the history runs on.
    EXPECT_EQ(first.clears, 0);
    EXPECT_EQ(second.clears, 0);
    EXPECT_EQ(manager.GetHistorySize(), 4u);
    std::vector<HistoryPoint> history;
    StatisticsParam held = UdpParam(10000);
    ASSERT_EQ(manager.GetHistoryStatistics(held, history), 1);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[3].totalFrames, 4u);
    StatisticsParam beyond = UdpParam(10055);
    EXPECT_EQ(manager.GetHistoryStatistics(beyond, history), 0);

    // A consumer that went away hears nothing more; the others still do.
    manager.RemoveConsumer(&first);
    manager.ClearStatisticsBuffer();
    EXPECT_EQ(first.clears, 0);
    EXPECT_EQ(second.clears, 1);
}

TEST_F(StatisticsTest, HistorySettlesAtItsBoundPlusOne) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Tick(Udp(1));
    for (int i = 0; i < 905; ++i)
        Tick(Batch{});
    EXPECT_EQ(manager.GetHistorySize(), 901u);

    Put("LastSecondMapListSize", 5);
    manager.StopPoll();
    ASSERT_EQ(manager.StartPoll(), 1);
    for (int i = 0; i < 10; ++i)
        Tick(Udp(static_cast<uint32_t>(i + 1)));
    EXPECT_EQ(manager.GetHistorySize(), 6u);
    std::vector<HistoryPoint> history;
    ASSERT_EQ(manager.GetHistoryStatistics(UdpParam(), history), 1);
    ASSERT_EQ(history.size(), 6u);
    EXPECT_EQ(history.back().totalFrames, 10u);
    EXPECT_EQ(history.front().totalFrames, 5u);
}

TEST_F(StatisticsTest, DeferredEntriesWaitOneTick) {
    ASSERT_EQ(manager.StartPoll(), 1);
    // Tick 1: two entries whose records have not arrived.
    Batch early;
    early.lists[0].push_back(EntryFromWire(1, 0, 50000));
    early.lists[3].push_back(EntryFromWire(2, 0, 50000));
    early.lists[0].push_back(EntryFromWire(9, 0, 50000));
    Tick(early);
    EXPECT_EQ(Current().size(), 0u);
    EXPECT_EQ(manager.GetDeferredCount(), 3u);

    // Tick 2: the records of 1 and 2 arrive (without entries); 9 never does.
    Batch late;
    late.records.push_back(RecordFromWire(WireRecord(1, 1, PacketSpec{})));
    PacketSpec other;
    other.sourcePort = 6000;
    late.records.push_back(RecordFromWire(WireRecord(2, 0, other)));
    Tick(late);
    EXPECT_EQ(Current().size(), 2u);
    EXPECT_EQ(manager.GetDeferredCount(), 0u);

    // Tick 3: the record of 9 comes too late and is not counted.
    Batch tooLate;
    PacketSpec third;
    third.sourcePort = 7000;
    tooLate.records.push_back(RecordFromWire(WireRecord(9, 1, third)));
    Tick(tooLate);
    EXPECT_EQ(Current().size(), 2u);
}

TEST_F(StatisticsTest, RecordsAheadOfTheirEntriesCountWithTheNextTick) {
    // The library hands out whatever has arrived: a record can come one hand-out before
    // its entries (its list completion was read a moment later).
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch records;
    records.records.push_back(RecordFromWire(WireRecord(1, 1, PacketSpec{})));
    PacketSpec other;
    other.sourcePort = 6000;
    records.records.push_back(RecordFromWire(WireRecord(2, 1, other)));
    Tick(records);
    EXPECT_EQ(Current().size(), 0u);

    Batch entries;
    entries.lists[0].push_back(EntryFromWire(1, 0, 50000));
    Tick(entries);
    ASSERT_EQ(Current().size(), 1u);
    EXPECT_EQ(Current().begin()->second.totalFrames, 1u);
    EXPECT_EQ(manager.GetDeferredCount(), 0u);

    // Two ticks behind its record an entry is not counted; it waits and is dropped.
    Batch late;
    late.lists[0].push_back(EntryFromWire(2, 0, 50000));
    Tick(late);
    Tick(Batch{});
    EXPECT_EQ(Current().size(), 1u);
    EXPECT_EQ(manager.GetDeferredCount(), 0u);
}

TEST_F(StatisticsTest, DeferredArrayEmptiesWhenFull) {
    ASSERT_EQ(manager.StartPoll(), 1);
    Batch flood;
    const uint32_t total = CAltirenStatisticsManager::kMaxDeferredEntries + 3;
    for (uint32_t i = 0; i < total; ++i)
        flood.lists[0].push_back(EntryFromWire(i + 1, 0, 50000));
    Tick(flood);
    EXPECT_EQ(manager.GetDeferredCount(), 3u);
}

TEST_F(StatisticsTest, StartAndStopTwice) {
    EXPECT_EQ(manager.StopPoll(), 1);
    Put("PollingInterval", 250);
    ASSERT_EQ(manager.StartPoll(), 1);
    EXPECT_EQ(manager.StartPoll(), 1);
    EXPECT_TRUE(manager.IsPolling());
    EXPECT_EQ(manager.GetPollingIntervalMs(), 250);
    Tick(Udp(1));
    EXPECT_EQ(manager.StopPoll(), 1);
    EXPECT_EQ(manager.StopPoll(), 1);
    EXPECT_FALSE(manager.IsPolling());
    // Statistics are gone; the clock stays until the next start.
    EXPECT_EQ(Current().size(), 0u);
    EXPECT_EQ(manager.GetHistorySize(), 0u);
    EXPECT_EQ(manager.GetClock(), 50000u);
    ASSERT_EQ(manager.StartPoll(), 1);
    EXPECT_EQ(manager.GetClock(), 0u);
}

TEST_F(StatisticsTest, ZeroIntervalTicksAtTheTimerMinimum) {
    Put("PollingInterval", 0);
    ASSERT_EQ(manager.StartPoll(), 1);
    EXPECT_EQ(manager.GetPollingIntervalMs(), 10);
}

// A consumer that reads the manager while it is told about the clear: the manager's
// lock lets the same thread in again.
class ReadingConsumer : public IStatisticsConsumer {
public:
    explicit ReadingConsumer(CAltirenStatisticsManager& m) : manager(m) {}
    void OnClearStatisticsBuffer() override {
        StatisticsMap map;
        std::string time;
        result = manager.GetLastSecondStatistics(map, time);
        seen = map.size();
    }
    CAltirenStatisticsManager& manager;
    int result = -1;
    size_t seen = 99;
};

TEST_F(StatisticsTest, ConsumersMayReadDuringTheClear) {
    ASSERT_EQ(manager.StartPoll(), 1);
    ReadingConsumer consumer(manager);
    manager.AddConsumer(&consumer);
    Tick(Udp(1));
    EXPECT_EQ(manager.ClearStatisticsBuffer(), 1);
    EXPECT_EQ(consumer.result, 1);
    EXPECT_EQ(consumer.seen, 0u);
    EXPECT_EQ(manager.GetClock(), 0u);
}

TEST_F(StatisticsTest, TimerDrivesTheTicks) {
    Put("PollingInterval", 20);
    ASSERT_EQ(manager.StartPoll(), 1);
    QElapsedTimer clock;
    clock.start();
    while (control.listCalls < 3 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_GE(control.listCalls, 3);
    manager.StopPoll();
    const int calls = control.listCalls;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(control.listCalls, calls);
}

} // namespace
