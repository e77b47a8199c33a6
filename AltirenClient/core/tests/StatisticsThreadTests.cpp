// The statistics mutex covers every read of the statistics: ticks on one thread while
// another thread queries.
#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/Resource.h"
#include "FakeNuvexControl.h"
#include "PacketBuilder.h"

#include <TestSupport/TempDir.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(StatisticsThreads, QueriesWhileTicking) {
    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    testsupport::TempDir dir{"statistics_threads"};
    FakeNuvexControl control;
    constexpr int kTicks = 200;
    for (int i = 0; i < kTicks; ++i) {
        FakeNuvexControl::Batch batch;
        PacketSpec spec;
        spec.sourcePort = static_cast<uint16_t>(5000 + i % 4);
        spec.totalLength = 100;
        batch.records.push_back(RecordFromWire(WireRecord(i + 1, 1, spec)));
        batch.lists[0].push_back(EntryFromWire(i + 1, 0, 50000));
        control.batches.push_back(std::move(batch));
    }
    CAltirenStatisticsManager manager{control, platform::registry::Registry(dir.str())};
    ASSERT_EQ(manager.StartPoll(), 1); // the timer cannot fire: this thread runs no loop

    std::atomic<bool> done{false};
    std::thread ticker([&] {
        for (int i = 0; i < kTicks; ++i)
            manager.OnTimer(IDT_STATISTICS_POLL);
        done = true;
    });
    StatisticsParam param;
    param.sourceAddress = "198.18.0.1";
    param.sourcePort = 5000;
    param.destinationAddress = "198.18.1.2";
    param.destinationPort = 7;
    param.protocol = "UDP";
    size_t reads = 0;
    while (!done) {
        StatisticsMap map;
        std::string time;
        EXPECT_EQ(manager.GetLastSecondStatistics(map, time), 1);
        EXPECT_LE(map.size(), 4u);
        std::vector<HistoryPoint> history;
        manager.GetHistoryStatistics(param, history);
        reads += manager.GetHistorySize() + manager.GetDeferredCount() + manager.GetClock() % 2;
    }
    ticker.join();
    EXPECT_EQ(manager.GetHistorySize(), static_cast<size_t>(kTicks));
    EXPECT_EQ(manager.GetClock(), 50000u + (kTicks - 1) * 1000u);
    EXPECT_EQ(manager.StopPoll(), 1);
    (void)reads;
}

} // namespace
