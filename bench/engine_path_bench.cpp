// Packets per second through the whole emulated path on one core, in-process: the edge,
// the classifier, both gateways, the WAN section and the capture stores, on a virtual
// clock with timers fired in place (no I/O).

#include "PathBench.h"

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace quellin;

namespace {

class ConstantDelay final : public EngineModels {
public:
    explicit ConstantDelay(uint32_t us) : m_us(us) {}
    uint32_t delay_us(EngineContext&) override { return m_us; }

private:
    uint32_t m_us;
};

wire::DriverPlayBlock block_with(uint32_t eastOut) {
    wire::DriverPlayBlock block = bench::open_block();
    block.setEastOut(eastOut);
    return block;
}

// One engine; `eastOut` and `delayUs` shape the outbound path.
struct Bench {
    ConstantDelay models;
    bench::PathRig rig;

    Bench(uint32_t eastOut, uint32_t delayUs)
        : models(delayUs), rig(&models, block_with(eastOut)) {}
};

void BM_PathUnlimited(benchmark::State& state) {
    const auto f = bench::udp_frame(static_cast<uint16_t>(state.range(0)));
    Bench b(wire::pb::kUnlimitedBandwidth, 0);
    for (auto _ : state)
        edge_packet_in(b.rig.adapter, 0, f.data(), f.size());
    state.SetItemsProcessed(static_cast<int64_t>(b.rig.sink.sent));
    state.counters["sent"] = static_cast<double>(b.rig.sink.sent);
}
BENCHMARK(BM_PathUnlimited)->Arg(64)->Arg(1500);

// Baseline of the same process: the bypass flag set, so the edge passes every frame
// straight to the sink without emulating it. The emulated cases read as ratios to this.
void BM_PathBypassBaseline(benchmark::State& state) {
    const auto f = bench::udp_frame(static_cast<uint16_t>(state.range(0)));
    Bench b(wire::pb::kUnlimitedBandwidth, 0);
    du_set_bypass(true);
    for (auto _ : state)
        edge_packet_in(b.rig.adapter, 0, f.data(), f.size());
    state.SetItemsProcessed(static_cast<int64_t>(b.rig.sink.sent));
}
BENCHMARK(BM_PathBypassBaseline)->Arg(64)->Arg(1500);

// 10 Mbit/s at the entry gateway and 50 ms in the WAN: the link is kept just full, so
// every packet waits its turn at the gateway and ~42 wait in the WAN queue.
void BM_Path10Mbit50ms(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = bench::udp_frame(ipLength);
    Bench b(100000, 50000);
    const uint64_t spacing = du_transmission_time(ipLength, 0, 100000);
    for (auto _ : state) {
        edge_packet_in(b.rig.adapter, 0, f.data(), f.size());
        b.rig.timers.run_until(b.rig.clock.now() + spacing);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.rig.sink.sent);
    state.counters["refused"] = static_cast<double>(rte_refused(b.rig.adapter, 0));
}
BENCHMARK(BM_Path10Mbit50ms)->Arg(1500);

} // namespace
