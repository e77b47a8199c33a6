// Packets per second through the whole emulated path with the models on: random loss,
// normal delay with jitter, RED at the entry gateway and duplication at the WAN exit.
// In-process on one core, virtual clock, timers fired in place (no I/O).

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_models/EngineHooks.h"
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

std::vector<uint8_t> frame(uint16_t ipLength) {
    std::vector<uint8_t> f(14 + ipLength, 0);
    f[12] = 0x08;
    f[14] = 0x45;
    f[16] = static_cast<uint8_t>(ipLength >> 8);
    f[17] = static_cast<uint8_t>(ipLength);
    f[22] = 64;
    f[23] = 17;
    const uint8_t src[4] = {198, 18, 0, 1};
    const uint8_t dst[4] = {198, 18, 0, 2};
    for (int i = 0; i < 4; ++i) {
        f[26 + i] = src[i];
        f[30 + i] = dst[i];
    }
    return f;
}

struct Bench {
    rte::test::VirtualClock clock;
    rte::SeededRandom random{1};
    rte::test::ManualTimers timers{clock, 16};
    CountingSink sink;
    models::ModelHooks hooks;
    RteAdapter* adapter = nullptr;

    explicit Bench(uint32_t eastOut) {
        RteConfig cfg;
        cfg.packetPoolSize = 4096;
        rte_init(cfg, {&clock, &random, &timers, &sink});
        adapter = rte_bind_adapter("bench0");
        du_init(&hooks, nullptr);
        wire::DriverPlayBlock block;
        block.setAdapterNumber(1);
        block.setAdapterAddress((198u << 24) | (18u << 16) | 1);
        block.setEastOut(eastOut);
        block.setEastIn(wire::pb::kUnlimitedBandwidth);
        block.setWestOut(wire::pb::kUnlimitedBandwidth);
        block.setWestIn(wire::pb::kUnlimitedBandwidth);
        block.setEastBucketSize(256);
        block.setEastBucketMode(0);
        block.setEastMinBucketThreshold(16);
        block.setEastMaxBucketThreshold(64);
        block.setWestBucketSize(wire::pb::kUnlimitedBucket);
        block.setLossType(2);
        block.setLossRandomly(100); // 1 %
        block.setDelayType(1);
        block.setMinDelay(20);
        block.setDelayJitter(5);
        block.setMaxDelayDiff(0xFFFF);
        block.setDuplicationChance(5);
        block.setDuplicationMinBurst(1);
        block.setDuplicationMaxBurst(2);
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

void BM_ModelsPathUnlimited(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = frame(ipLength);
    Bench b(wire::pb::kUnlimitedBandwidth);
    // One packet every 100 µs of virtual time: about 200 wait in the WAN.
    for (auto _ : state) {
        edge_packet_in(b.adapter, 0, f.data(), f.size());
        b.timers.run_until(b.clock.now() + 100);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.sink.sent);
    state.counters["redDrops"] =
        static_cast<double>(du_context().counters.values[wire::kCtrBucketDropTotal]);
}
BENCHMARK(BM_ModelsPathUnlimited)->Arg(64)->Arg(1500);

// 10 Mbit/s at the entry gateway, offered 10 % above the link rate so RED works.
void BM_ModelsPath10Mbit(benchmark::State& state) {
    const auto ipLength = static_cast<uint16_t>(state.range(0));
    const auto f = frame(ipLength);
    Bench b(100000);
    const uint64_t spacing = du_transmission_time(ipLength, 0, 100000) * 10 / 11;
    for (auto _ : state) {
        edge_packet_in(b.adapter, 0, f.data(), f.size());
        b.timers.run_until(b.clock.now() + spacing);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["sent"] = static_cast<double>(b.sink.sent);
    state.counters["redDrops"] =
        static_cast<double>(du_context().counters.values[wire::kCtrBucketDropTotal]);
    state.counters["refused"] = static_cast<double>(rte_refused(b.adapter, 0));
}
BENCHMARK(BM_ModelsPath10Mbit)->Arg(1500);

} // namespace
