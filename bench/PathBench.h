// Set-up shared by the in-process path benchmarks: a test frame, a sink that counts what
// leaves, and one engine playing a block on a virtual clock with timers fired in place.
#pragma once

#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Blocks.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/DriverPlayBlock.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quellin::bench {

class CountingSink final : public rte::TransmitSink {
public:
    void transmit(uint16_t, int, const uint8_t*, size_t) override { ++sent; }
    uint64_t sent = 0;
};

// A UDP over IPv4 frame of `ipLength` IP bytes from 198.18.0.1 to 198.18.0.2.
inline std::vector<uint8_t> udp_frame(uint16_t ipLength) {
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

// A block for adapter 1 at 198.18.0.1 whose links and buckets are all unlimited.
inline wire::DriverPlayBlock open_block() {
    return test::open_block((198u << 24) | (18u << 16) | 1);
}

// One engine on virtual seams playing `block` through `models` (which must outlive it),
// bypass off; torn down on destruction.
struct PathRig {
    rte::test::VirtualClock clock;
    rte::SeededRandom random{1};
    rte::test::ManualTimers timers{clock, 16};
    CountingSink sink;
    RteAdapter* adapter = nullptr;

    PathRig(EngineModels* models, const wire::DriverPlayBlock& block,
            const RteConfig& config = RteConfig{}) {
        rte_init(config, {&clock, &random, &timers, &sink});
        adapter = rte_bind_adapter("bench0");
        du_init(models, nullptr);
        if (du_load_play_block(block.data(), block.size(),
                               wire::internet_checksum(block.data(), block.size())) != 0)
            throw std::invalid_argument("the bench's block does not load");
        du_play();
        du_set_bypass(false);
    }
    ~PathRig() {
        du_stop();
        du_shutdown();
        rte_shutdown();
    }
    PathRig(const PathRig&) = delete;
    PathRig& operator=(const PathRig&) = delete;
};

} // namespace quellin::bench
