// Packets per second through the whole emulated path on one core, in-process: the edge,
// the classifier, both gateways, the WAN section and the capture stores, on a virtual
// clock with timers fired in place (no I/O).

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_wire/Checksum.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace quellin;

namespace {

class CountingSink final : public rte::TransmitSink {
public:
    void transmit(uint16_t, int, const uint8_t*, size_t) override { ++sent; }
    uint64_t sent = 0;
};

class ConstantDelay final : public EngineModels {
public:
    explicit ConstantDelay(uint32_t us) : m_us(us) {}
    uint32_t delay_us(EngineContext&) override { return m_us; }

private:
    uint32_t m_us;
};

std::vector<uint8_t> frame(uint16_t ipLength) {
    std::vector<uint8_t> f(14 + ipLength, 0);
    f[12] = 0x08;
    f[14] = 0x45;
    f[16] = static_cast<uint8_t>(ipLength >> 8);
    f[17] = static_cast<uint8_t>(ipLength);
    f[23] = 17;
    const uint8_t src[4] = {198, 18, 0, 1};
    const uint8_t dst[4] = {198, 18, 0, 2};
    for (int i = 0; i < 4; ++i) {
        f[26 + i] = src[i];
        f[30 + i] = dst[i];
    }
    return f;
}

// One engine on virtual seams; `eastOut` and `delayUs` shape the outbound path.
struct Bench {
    rte::test::VirtualClock clock;
    rte::SeededRandom random{1};
    rte::test::ManualTimers timers{clock, 16};
    CountingSink sink;
    ConstantDelay models;
    RteAdapter* adapter = nullptr;

    Bench(uint32_t eastOut, uint32_t delayUs) : models(delayUs) {
        rte_init(RteConfig{}, {&clock, &random, &timers, &sink});
        adapter = rte_bind_adapter("bench0");
        du_init(&models, nullptr);
        wire::DriverPlayBlock block;
        block.setAdapterNumber(1);
        block.setAdapterAddress((198u << 24) | (18u << 16) | 1);
        block.setEastOut(eastOut);
        block.setEastIn(wire::pb::kUnlimitedBandwidth);
        block.setWestOut(wire::pb::kUnlimitedBandwidth);
        block.setWestIn(wire::pb::kUnlimitedBandwidth);
        block.setEastBucketSize(wire::pb::kUnlimitedBucket);
        block.setWestBucketSize(wire::pb::kUnlimitedBucket);
        du_load_play_block(block.data(), block.size(),
                           wire::internet_checksum(block.data(), block.size()));
        du_play();
        du_set_bypass(false);
    }
    ~Bench() {
        du_stop();
        du_shutdown();
        rte_shutdown();
    }
};

void BM_PathUnlimited(benchmark::State& state) {
    const auto f = frame(static_cast<uint16_t>(state.range(0)));
    Bench b(wire::pb::kUnlimitedBandwidth, 0);
    for (auto _ : state)
        edge_packet_in(b.adapter, 0, f.data(), f.size());
    state.SetItemsProcessed(static_cast<int64_t>(b.sink.sent));
    state.counters["sent"] = static_cast<double>(b.sink.sent);
}
BENCHMARK(BM_PathUnlimited)->Arg(64)->Arg(1500);

// 10 Mbit/s at the entry gateway and 50 ms in the WAN: the link is kept just full, so
// every packet waits its turn at the gateway and ~42 wait in the WAN queue.
void BM_Path10Mbit50ms(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = frame(ipLength);
    Bench b(100000, 50000);
    const uint64_t spacing = du_transmission_time(ipLength, 0, 100000);
    for (auto _ : state) {
        edge_packet_in(b.adapter, 0, f.data(), f.size());
        b.timers.run_until(b.clock.now() + spacing);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.sink.sent);
    state.counters["refused"] = static_cast<double>(rte_refused(b.adapter, 0));
}
BENCHMARK(BM_Path10Mbit50ms)->Arg(1500);

} // namespace
