// The models behind the engine's call points, on the deterministic packet-layer seams.
#include "quellin_models/EngineHooks.h"
#include "FakeRuntime.h"
#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_models/Checksum.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Blocks.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/Checksum.h"

#include <gtest/gtest.h>

using namespace quellin;
using namespace quellin::test;

namespace {

const uint32_t kStation = ipv4(198, 18, 0, 1);
const uint32_t kPeer = ipv4(198, 18, 0, 2);

class ModelsInEngine : public ::testing::Test {
protected:
    static constexpr uint32_t kPool = 64;

    void SetUp() override {
        RteConfig cfg;
        cfg.packetPoolSize = kPool;
        ASSERT_TRUE(rte_init(cfg, {&clock, &random, &timers, &sink}));
        adapter = rte_bind_adapter("tap0");
        ASSERT_TRUE(du_init(&hooks, nullptr));
        block = open_block(kStation);
    }
    void TearDown() override {
        du_shutdown();
        rte_shutdown();
    }
    void play() {
        ASSERT_EQ(du_load_play_block(block.data(), block.size(),
                                     wire::internet_checksum(block.data(), block.size())),
                  0);
        du_play();
        du_set_bypass(false);
    }
    void send(int direction, uint16_t ipLength = 100, uint8_t tag = 0, uint16_t ipFlags = 0) {
        auto frame = direction == 0 ? ipv4_frame(kStation, kPeer, ipLength, tag)
                                    : ipv4_frame(kPeer, kStation, ipLength, tag);
        put_be16(frame, 20, ipFlags);
        models::ipv4_set_header_checksum(std::span<uint8_t>(frame).subspan(14), 20);
        edge_packet_in(adapter, direction, frame.data(), frame.size());
    }
    bool pools_full() const {
        return rte_free_descriptors(adapter, 0) == kPool &&
               rte_free_descriptors(adapter, 1) == kPool &&
               rte_alloc_free_blocks() == rte_alloc_total_blocks();
    }
    uint32_t counter(size_t i) const { return du_context().counters.values[i]; }
    std::span<const uint8_t> ip_of(size_t i) const {
        return std::span<const uint8_t>(sink.frames().at(i).bytes).subspan(14);
    }

    rte::test::VirtualClock clock{1000000, 3600000};
    rte::test::ScriptedRandom random;
    rte::test::ManualTimers timers{clock};
    rte::test::CaptureSink sink{&clock};
    models::ModelHooks hooks;
    RteAdapter* adapter = nullptr;
    wire::DriverPlayBlock block;
};

} // namespace

TEST_F(ModelsInEngine, PeriodicLossAndFixedDelay) {
    block.setLossType(1);
    block.setLossEvery(1);
    block.setMinDelay(20);
    block.setMaxDelay(20);
    play();
    const uint64_t t0 = clock.now();
    for (uint8_t tag = 1; tag <= 4; ++tag)
        send(0, 100, tag);
    EXPECT_EQ(sink.count(), 0u);
    timers.run_until(t0 + 20000);
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(ip_of(0)[28], 1);
    EXPECT_EQ(ip_of(1)[28], 3);
    EXPECT_EQ(du_context().lossCounter[0], 0);
    EXPECT_TRUE(pools_full());
}

TEST_F(ModelsInEngine, EntryBucketRefusesWhatDoesNotFit) {
    block.setEastBucketSize(2);
    block.setEastOut(10000); // 1 Mbit/s: 8 ms per packet on the link
    play();
    send(0, 1000);
    send(0, 1000);
    send(0, 1000);
    EXPECT_EQ(counter(wire::kCtrBucketDropTotal + 0), 1u);
    EXPECT_EQ(counter(wire::kCtrBucketFillMax + 0), 2000u);
    EXPECT_EQ(du_context().bucketFill[0], 2000u);
    timers.run_until(clock.now() + 100000);
    EXPECT_EQ(sink.count(), 2u);
    EXPECT_EQ(du_context().bucketFill[0], 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(ModelsInEngine, DuplicatesAndFragmentsLeaveTheExitGateway) {
    block.setDuplicationChance(99);
    block.setDuplicationMinBurst(2);
    block.setDuplicationMaxBurst(2);
    play();
    send(0, 100, 9);
    ASSERT_EQ(sink.count(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(ip_of(i)[28], 9);
    EXPECT_EQ(counter(wire::kCtrQueueMaxTotal), 3u);
    EXPECT_TRUE(pools_full());

    sink.clear();
    block.setDuplicationChance(0);
    block.setFragmentationChance(50);
    block.setMaxTransmitionUnit(576);
    play();
    send(0, 1500);
    ASSERT_EQ(sink.count(), 3u);
    size_t data = 0;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(wire::ipv4_header_checksum_ok(ip_of(i).data(), ip_of(i).size()));
        data += ((ip_of(i)[2] << 8) | ip_of(i)[3]) - 20;
    }
    EXPECT_EQ(data, 1480u);
    EXPECT_TRUE(pools_full());
}

TEST_F(ModelsInEngine, DontFragmentAnswerGoesBackToTheStation) {
    block.setFragmentationChance(50);
    block.setMaxTransmitionUnit(576);
    block.setFragmentationOrder(2);
    play();
    send(0, 1500, 0, 0x4000);
    ASSERT_EQ(sink.count(), 1u);
    const auto& answer = sink.frames()[0];
    EXPECT_EQ(answer.direction, 1);
    EXPECT_EQ(answer.bytes[0], 0x04); // destination: the sender's own address
    EXPECT_EQ(answer.bytes[14 + 9], 1);
    EXPECT_EQ(answer.bytes[14 + 20], 3);
    EXPECT_EQ(answer.bytes[14 + 21], 4);
    EXPECT_TRUE(pools_full());
}

TEST_F(ModelsInEngine, BitErrorCopyReplacesThePacket) {
    block.setBitErrorChance(20000);
    block.setBitErrorMinBurst(8);
    block.setBitErrorMaxBurst(8);
    play();
    // First gap 1 + 16384 * 19999 / 32767 = 10,000 bits behind the IP header's start, a
    // burst of 8 bits there, then a gap past the frame.
    random.push({16384, 0, 0, 0});
    random.push({0x7FFF, 0x7FFF, 0x7FFF});
    send(0, 1500, 5);
    ASSERT_EQ(sink.count(), 1u);
    const auto ip = ip_of(0);
    EXPECT_EQ(ip[1250], 0xFF);
    EXPECT_EQ(ip[1249], 0);
    EXPECT_EQ(ip[1251], 0);
    EXPECT_EQ(random.remaining(), 0u);
    EXPECT_TRUE(pools_full());
}

TEST_F(ModelsInEngine, StopEndsADisconnectBeforeTheNextPlay) {
    block.setDisconnectTimeChance(3);
    block.setDisconnectMinTime(30000);
    block.setDisconnectMaxTime(30000);
    play();
    random.push(models::test::draw_for(1, 3, 1)); // equals 3 / 2
    timers.run_until(clock.now() + 1000000);
    ASSERT_NE(du_context().disconnectEndMs, 0u);
    send(0);
    EXPECT_EQ(sink.count(), 0u);
    ASSERT_TRUE(du_stop());
    du_play();
    du_set_bypass(false);
    random.set_fallback(0x7FFF); // no new disconnect
    send(0);
    EXPECT_EQ(sink.count(), 1u);
}

TEST_F(ModelsInEngine, ABlockTheControlLibraryRefusesNeverPlays) {
    // Bursts of 65,535 copies, or a minimum above the maximum (the span wraps): one packet
    // would cost the loop tens of thousands of copies.
    random.set_fallback(0); // every chance hits, every burst at its minimum
    for (uint16_t low : {uint16_t{65535}, uint16_t{20}}) {
        block.setDuplicationChance(99);
        block.setDuplicationMinBurst(low);
        block.setDuplicationMaxBurst(static_cast<uint16_t>(low == 20 ? 19 : 65535));
        EXPECT_EQ(du_load_play_block(block.data(), block.size(),
                                     wire::internet_checksum(block.data(), block.size())),
                  6);
        EXPECT_EQ(du_context().block, nullptr);
        du_play();
        du_set_bypass(false);
        sink.clear();
        for (int i = 0; i < 5; ++i)
            send(0);
        EXPECT_EQ(sink.count(), 5u);
        EXPECT_TRUE(pools_full());
        du_stop();
    }
}
