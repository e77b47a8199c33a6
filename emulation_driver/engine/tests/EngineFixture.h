// A whole engine on deterministic seams: one adapter, a loaded and playing block.
#pragma once

#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Blocks.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

#include <deque>

namespace quellin::test {

inline const uint32_t kStation = ipv4(198, 18, 0, 1);
inline const uint32_t kPeer = ipv4(198, 18, 0, 2);

// Models that lose and delay packets as a test scripts them.
struct ScriptedModels : EngineModels {
    std::deque<uint16_t> losses;
    std::deque<uint32_t> delays;
    int loads = 0;
    int ticks = 0;
    bool refuseBucket = false;
    uint16_t loss_decision(EngineContext&, int) override {
        if (losses.empty())
            return 0;
        const uint16_t f = losses.front();
        losses.pop_front();
        return f;
    }
    uint32_t delay_us(EngineContext&) override {
        if (delays.empty())
            return 0;
        const uint32_t d = delays.front();
        delays.pop_front();
        return d;
    }
    bool bucket_add(EngineContext&, int, uint32_t) override { return !refuseBucket; }
    void bucket_remove(EngineContext&, int, uint32_t) override { ++bucketRemovals; }
    int bucketRemovals = 0;
    // Flags the WAN exit marks a packet with (0x20: replaced by fragments), one per packet.
    std::deque<uint16_t> exitMarks;
    void fragment(EngineContext&, RtePacket*, PacketInfo& info, int) override {
        if (exitMarks.empty())
            return;
        info.flags |= exitMarks.front();
        exitMarks.pop_front();
    }
    void on_load(EngineContext&) override { ++loads; }
    void periodic_tick(EngineContext&) override { ++ticks; }
};

struct CountingReporter : EngineReporter {
    int statsPackets = 0;
    int queueStats = 0;
    void send_stats_packets(EngineContext& ctx) override {
        ++statsPackets;
        ctx.unsentRecords = 0;
    }
    void send_sim_queue_stats(EngineContext&) override { ++queueStats; }
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr uint32_t kPool = 64;

    void SetUp() override {
        RteConfig cfg;
        cfg.packetPoolSize = kPool;
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
        adapter = rte_bind_adapter("tap0");
        ASSERT_TRUE(du_init(&models, &reporter));
        block = open_block(kStation);
    }
    void TearDown() override {
        du_shutdown();
        rte_shutdown();
    }

    // Loads the block as it stands and lets the emulation run.
    void play() {
        ASSERT_EQ(load(), 0);
        du_play();
        du_set_bypass(false);
    }
    uint16_t load() {
        return du_load_play_block(block.data(), block.size(),
                                  wire::internet_checksum(block.data(), block.size()));
    }

    // An outbound (0) or inbound (1) IPv4 packet with `tag` in its payload.
    EdgeResult send(int direction, uint16_t ipLength = 100, uint8_t tag = 0) {
        const auto frame = direction == 0 ? ipv4_frame(kStation, kPeer, ipLength, tag)
                                          : ipv4_frame(kPeer, kStation, ipLength, tag);
        return edge_packet_in(adapter, direction, frame.data(), frame.size());
    }

    uint8_t tag_of(size_t i) const { return sink.frames().at(i).bytes.at(14 + 28); }

    bool pools_full() const {
        return rte_free_descriptors(adapter, 0) == kPool &&
               rte_free_descriptors(adapter, 1) == kPool &&
               rte_alloc_free_blocks() == rte_alloc_total_blocks();
    }

    wire::PacketListEntry list_entry(int list, size_t slot) const {
        return wire::PacketListEntry::decode(du_context().lists[list][slot].data());
    }
    wire::PacketRecord record(size_t slot) const {
        return wire::PacketRecord::decode(du_context().captured[slot].data());
    }
    uint32_t counter(size_t index) const { return du_context().counters.values[index]; }

    rte::test::VirtualClock clock{1000000, 3600000};
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink{&clock};
    ScriptedModels models;
    CountingReporter reporter;
    RteAdapter* adapter = nullptr;
    wire::DriverPlayBlock block;
};

} // namespace quellin::test
