// Packets per second through the whole emulated path with the models on: random loss,
// normal delay with jitter, RED at the entry gateway and duplication at the WAN exit.
// In-process on one core, virtual clock, timers fired in place (no I/O).

#include "PathBench.h"

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_models/EngineHooks.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace quellin;

namespace {

// RED at the entry gateway behind `eastOut`, 1 % random loss, 20 ms normal delay with 5 ms
// jitter and bursts of one or two duplicates at the WAN exit.
wire::DriverPlayBlock block_with(uint32_t eastOut) {
    wire::DriverPlayBlock block = bench::open_block();
    block.setEastOut(eastOut);
    block.setEastBucketSize(256);
    block.setEastBucketMode(0);
    block.setEastMinBucketThreshold(16);
    block.setEastMaxBucketThreshold(64);
    block.setLossType(2);
    block.setLossRandomly(100); // 1 %
    block.setDelayType(1);
    block.setMinDelay(20);
    block.setMaxDelay(20); // the mean: a maximum below the minimum is refused at load
    block.setDelayJitter(5);
    block.setMaxDelayDiff(0xFFFF);
    block.setDuplicationChance(5);
    block.setDuplicationMinBurst(1);
    block.setDuplicationMaxBurst(2);
    return block;
}

RteConfig large_pool() {
    RteConfig cfg;
    cfg.packetPoolSize = 4096;
    return cfg;
}

struct Bench {
    models::ModelHooks hooks;
    bench::PathRig rig;

    explicit Bench(uint32_t eastOut) : rig(&hooks, block_with(eastOut), large_pool()) {}
};

void BM_ModelsPathUnlimited(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = bench::udp_frame(ipLength);
    Bench b(wire::pb::kUnlimitedBandwidth);
    // One packet every 100 µs of virtual time: about 200 wait in the WAN.
    for (auto _ : state) {
        edge_packet_in(b.rig.adapter, 0, f.data(), f.size());
        b.rig.timers.run_until(b.rig.clock.now() + 100);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.rig.sink.sent);
    state.counters["redDrops"] =
        static_cast<double>(du_context().counters.values[wire::kCtrBucketDropTotal]);
}
BENCHMARK(BM_ModelsPathUnlimited)->Arg(64)->Arg(1500);

// 10 Mbit/s at the entry gateway, offered 10 % above the link rate so RED works.
void BM_ModelsPath10Mbit(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = bench::udp_frame(ipLength);
    Bench b(100000);
    const uint64_t spacing = du_transmission_time(ipLength, 0, 100000) * 10 / 11;
    for (auto _ : state) {
        edge_packet_in(b.rig.adapter, 0, f.data(), f.size());
        b.rig.timers.run_until(b.rig.clock.now() + spacing);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.rig.sink.sent);
    state.counters["redDrops"] =
        static_cast<double>(du_context().counters.values[wire::kCtrBucketDropTotal]);
    state.counters["refused"] = static_cast<double>(rte_refused(b.rig.adapter, 0));
}
BENCHMARK(BM_ModelsPath10Mbit)->Arg(1500);

} // namespace
