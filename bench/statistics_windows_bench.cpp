// What the statistics windows cost per refresh while an emulation plays: the Top Talkers
// list over 400 connections and a connection graph over a 900-second history, each with
// and without painting, beside the statistics manager's own tick over the same
// connections as the baseline of the same process. One refresh a second is the
// windows' pace, so the time per refresh is the share of one core they take.
#include "AltirenClient/AltirenStatisticsManager.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenUi/StatisticGrafWindow.h"
#include "AltirenUi/StatisticListDlg.h"

#include "FakeNuvexControl.h"
#include "PacketBuilder.h"

#include <TestSupport/TempDir.h>
#include <platform/Registry.h>

#include <QApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kConnections = 400;
constexpr int kHistorySeconds = 900;

// 400 connections, each a packet a second, through the statistics manager of the
// process's registry.
class Statistics {
public:
    Statistics()
        : manager(control, platform::registry::Registry(std::getenv("ALTIREN_REGISTRY_ROOT"))) {
        manager.StartPoll();
        for (int second = 0; second < kHistorySeconds; ++second)
            Tick();
    }

    void Tick() {
        FakeNuvexControl::Batch batch;
        for (int c = 0; c < kConnections; ++c) {
            PacketSpec spec;
            spec.protocol = 6;
            spec.sourcePort = static_cast<uint16_t>(20000 + c);
            spec.destinationPort = 80;
            spec.totalLength = static_cast<uint16_t>(200 + (c * 37 + m_second * 11) % 1300);
            batch.records.push_back(RecordFromWire(WireRecord(m_sequence, 1, spec)));
            batch.lists[0].push_back(EntryFromWire(m_sequence, 0, 50000));
            ++m_sequence;
        }
        ++m_second;
        control.batches.push_back(std::move(batch));
        manager.OnTimer(IDT_STATISTICS_POLL);
    }

    static StatisticsParam Busiest() {
        StatisticsParam param;
        param.sourceAddress = "198.18.0.1";
        param.sourcePort = 20000;
        param.destinationAddress = "198.18.1.2";
        param.destinationPort = 80;
        param.protocol = "TCP";
        return param;
    }

    FakeNuvexControl control;
    CAltirenStatisticsManager manager;

private:
    uint32_t m_sequence = 1;
    int m_second = 0;
};

Statistics& Shared() {
    static Statistics statistics;
    return statistics;
}

// Baseline: the statistics manager folding one second of the 400 connections.
void BM_StatisticsTickBaseline(benchmark::State& state) {
    Statistics& statistics = Shared();
    for (auto _ : state)
        statistics.Tick();
}
BENCHMARK(BM_StatisticsTickBaseline)->Unit(benchmark::kMicrosecond);

void ListRefresh(benchmark::State& state, bool paint) {
    Statistics& statistics = Shared();
    CStatisticListDlg list;
    list.SetStatisticsManager(&statistics.manager);
    list.Create();
    list.resize(900, 500);
    list.show();
    list.OnTimerEvent();
    for (auto _ : state) {
        list.OnTimerEvent();
        if (paint)
            benchmark::DoNotOptimize(list.grab());
    }
    state.counters["rows"] = list.Model().RowCount();
}
void BM_ListRefresh(benchmark::State& state) {
    ListRefresh(state, false);
}
void BM_ListRefreshPainted(benchmark::State& state) {
    ListRefresh(state, true);
}
BENCHMARK(BM_ListRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListRefreshPainted)->Unit(benchmark::kMicrosecond);

std::unique_ptr<CStatisticGrafWindow> Graph(Statistics& statistics) {
    auto graph = std::make_unique<CStatisticGrafWindow>();
    graph->SetStatisticsManager(&statistics.manager);
    graph->SetKey(GraphWindowKey(Statistics::Busiest()));
    graph->Create();
    graph->resize(640, 420);
    graph->show();
    return graph;
}

// A graph's first refresh: the whole history of its connection.
void BM_GraphHistoryLoad(benchmark::State& state) {
    Statistics& statistics = Shared();
    size_t points = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto graph = Graph(statistics);
        state.ResumeTiming();
        graph->OnTimerEvent();
        points = graph->Model().GetPointCount();
        state.PauseTiming();
        graph.reset();
        state.ResumeTiming();
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_GraphHistoryLoad)->Unit(benchmark::kMicrosecond);

// Every later refresh: one second more on a graph that holds the 900-second history (and
// at most as many seconds again, then it starts over from its history).
void GraphTick(benchmark::State& state, bool paint) {
    Statistics& statistics = Shared();
    auto graph = Graph(statistics);
    graph->OnTimerEvent();
    for (auto _ : state) {
        if (graph->Model().GetPointCount() >= 2 * kHistorySeconds) {
            state.PauseTiming();
            graph = Graph(statistics);
            graph->OnTimerEvent();
            state.ResumeTiming();
        }
        graph->OnTimerEvent();
        if (paint)
            benchmark::DoNotOptimize(graph->grab());
    }
    state.counters["points"] = static_cast<double>(graph->Model().GetPointCount());
}
void BM_GraphTick(benchmark::State& state) {
    GraphTick(state, false);
}
void BM_GraphTickPainted(benchmark::State& state) {
    GraphTick(state, true);
}
BENCHMARK(BM_GraphTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GraphTickPainted)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // The windows on the offscreen platform, their settings in a registry of their own.
    testsupport::TempDir registryDir{"statistics-bench"};
    ::setenv("ALTIREN_REGISTRY_ROOT", registryDir.str().c_str(), 1);
    {
        platform::registry::Registry registry(registryDir.str());
        using platform::registry::Hive;
        using platform::registry::Value;
        registry.createKey(Hive::LocalMachine, CClientSettings::kSettingsKey);
        for (const char* name : {"PollingInterval", "StatGuiRefresh"})
            registry.setValue(Hive::LocalMachine, CClientSettings::kSettingsKey, name,
                              Value::Dword(3600000));
        registry.setValue(Hive::LocalMachine, CClientSettings::kSettingsKey, "MaxPairs",
                          Value::Dword(kConnections));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
