// The models plugged into the engine's call points.
#pragma once

#include "quellin_engine/Hooks.h"
#include "quellin_models/Bucket.h"
#include "quellin_models/LossDelay.h"
#include "quellin_models/RteRuntime.h"

#include <array>
#include <memory>

namespace quellin::models {

// The engine context is the record of the models' state between packets: each call
// reads it (the control commands zero parts of it) and writes it back. The parameters are
// read from the block as it stands, so a block neutralised by stop is followed at once.
class ModelHooks final : public EngineModels {
public:
    ModelHooks();

    void on_start(EngineContext& ctx) override;
    void on_load(EngineContext& ctx) override;
    bool bucket_add(EngineContext& ctx, int bucket, uint32_t size) override;
    void bucket_remove(EngineContext& ctx, int bucket, uint32_t size) override;
    uint16_t loss_decision(EngineContext& ctx, int direction) override;
    uint32_t delay_us(EngineContext& ctx) override;
    RtePacket* bit_errors(EngineContext& ctx, RtePacket* packet, PacketInfo& info,
                          int direction) override;
    void duplicate(EngineContext& ctx, RtePacket* packet, PacketInfo& info, int direction) override;
    void fragment(EngineContext& ctx, RtePacket* packet, PacketInfo& info, int direction) override;
    void periodic_tick(EngineContext& ctx) override;

    const Bucket& bucket(int b) const { return m_buckets[b & 1]; }

private:
    void pull(const EngineContext& ctx);
    void push(EngineContext& ctx) const;
    void reset(EngineContext& ctx);

    RteRuntime m_rt;
    ModelState m_state;
    uint32_t m_congestionStart = 0;
    std::array<Bucket, 2> m_buckets{};
    static constexpr size_t kWorkSize = 65536;
    std::unique_ptr<uint8_t[]> m_work; // fragments and ICMP answers are built here
};

} // namespace quellin::models
