#include "quellin_models/EngineHooks.h"

#include "quellin_engine/Engine.h"
#include "quellin_models/PacketEffects.h"
#include "quellin_models/Params.h"

#include <memory>
#include <span>

namespace quellin::models {

namespace {

PacketView view_of(const RtePacket* packet) {
    PacketView v;
    if (packet->linkHeader != 0 && packet->length > packet->linkHeader)
        v.ip = std::span<const uint8_t>(packet->frame + packet->linkHeader,
                                        packet->length - packet->linkHeader);
    v.frameLength = packet->length;
    v.linkHeaderLength = packet->linkHeader;
    return v;
}

// The engine's side of the exit effects for one parent packet.
class RteEffectsHost final : public ExitEffectsHost {
public:
    RteEffectsHost(RtePacket* parent, PacketInfo& info, int direction, std::span<uint8_t> work)
        : m_parent(parent), m_info(info), m_direction(direction), m_work(work) {}

    RtePacket* copy() const { return m_copy; }

    bool make_private_copy() override {
        m_copy = rte_mkcookie(m_parent, nullptr, 0, 0, m_parent->length, 1);
        return m_copy != nullptr;
    }
    void toggle_copy_bits(uint64_t position, uint32_t count) override {
        rte_toggle_bits(m_copy, static_cast<uint32_t>(position), count);
    }
    bool introduce_duplicate(uint16_t flags) override {
        RtePacket* p = rte_mkcookie(m_parent, nullptr, 0, 0, m_parent->length, 1);
        if (!p)
            return false;
        PacketInfo info = m_info;
        info.flags = flags;
        quellin::du_introduce_new_packet(p, info, m_direction, false);
        return true;
    }
    std::span<uint8_t> working_buffer(size_t size) override {
        if (size > m_work.size())
            return {};
        return std::span<uint8_t>(m_work.data(), size);
    }
    bool introduce_built(std::span<const uint8_t> ip, uint16_t flags, bool reply) override {
        RtePacket* p = rte_mkcookie(m_parent, ip.data(), static_cast<uint32_t>(ip.size()), 0, 0,
                                    reply ? 0 : 1);
        if (!p)
            return false;
        PacketInfo info = m_info;
        info.flags = flags;
        quellin::du_introduce_new_packet(p, info, m_direction, reply);
        return true;
    }
    void raise_wan_queue_maxima(uint32_t n) override {
        for (uint32_t i = 0; i < n; ++i)
            quellin::du_counter_up(wire::kCtrWanPackets);
        for (uint32_t i = 0; i < n; ++i)
            quellin::du_counter_down(wire::kCtrWanPackets);
    }

private:
    RtePacket* m_parent;
    PacketInfo& m_info;
    int m_direction;
    std::span<uint8_t> m_work;
    RtePacket* m_copy = nullptr;
};

Counters counters_of(EngineContext& ctx) {
    return Counters(ctx.counters.values);
}

} // namespace

// The working buffer is written before it is read: it is not zeroed first.
ModelHooks::ModelHooks() : m_work(std::make_unique_for_overwrite<uint8_t[]>(kWorkSize)) {}

void ModelHooks::pull(const EngineContext& ctx) {
    for (int d = 0; d < 2; ++d) {
        m_state.direction[d].counter = ctx.lossCounter[d];
        m_state.direction[d].burstFlag = ctx.burstFlag[d];
        m_state.direction[d].burstLength = ctx.burstLength[d];
        m_buckets[d].fill = ctx.bucketFill[d];
    }
    m_state.gilbertState = ctx.gilbertState;
    m_state.seriesPosition = ctx.seriesPosition;
    m_state.seriesStepTime = ctx.seriesStepUs;
    m_state.disconnect.end = ctx.disconnectEndMs;
    m_state.disconnect.start = ctx.disconnectEndMs - ctx.disconnectLengthMs;
    if (ctx.congestionEndMs != m_state.congestion.end)
        m_congestionStart = 0;
    m_state.congestion.end = ctx.congestionEndMs;
    m_state.congestion.start = m_congestionStart;
    m_state.walkCurrent = ctx.walkDelayMs;
    m_state.emulationStart = ctx.emulationStartUs;
}

void ModelHooks::push(EngineContext& ctx) const {
    for (int d = 0; d < 2; ++d) {
        ctx.lossCounter[d] = m_state.direction[d].counter;
        ctx.burstFlag[d] = m_state.direction[d].burstFlag;
        ctx.burstLength[d] = m_state.direction[d].burstLength;
        ctx.bucketFill[d] = m_buckets[d].fill;
    }
    ctx.gilbertState = m_state.gilbertState;
    ctx.seriesPosition = m_state.seriesPosition;
    ctx.seriesStepUs = m_state.seriesStepTime;
    ctx.disconnectEndMs = m_state.disconnect.end;
    // The period's length as it stands (end - start) tells its start back.
    ctx.disconnectLengthMs = m_state.disconnect.end - m_state.disconnect.start;
    ctx.congestionEndMs = m_state.congestion.end;
    ctx.walkDelayMs = m_state.walkCurrent;
}

void ModelHooks::on_start(EngineContext& ctx) {
    reset(ctx);
}

void ModelHooks::on_load(EngineContext& ctx) {
    reset(ctx);
}

void ModelHooks::reset(EngineContext& ctx) {
    m_state = ModelState{};
    m_congestionStart = 0;
    const uint32_t today = m_rt.gettimeofday();
    for (auto& b : m_buckets) {
        b.fill = 0;
        red_reset(b, today);
    }
    pull(ctx);
    push(ctx);
}

bool ModelHooks::bucket_add(EngineContext& ctx, int bucket, uint32_t size) {
    if (!ctx.block)
        return true;
    pull(ctx);
    const int b = bucket & 1;
    const int taken = du_add_to_bucket(m_buckets[b], b, decode_bucket(*ctx.block, b), size,
                                       counters_of(ctx), m_rt);
    push(ctx);
    return taken != 0;
}

void ModelHooks::bucket_remove(EngineContext& ctx, int bucket, uint32_t size) {
    if (!ctx.block)
        return;
    pull(ctx);
    const int b = bucket & 1;
    du_del_from_bucket(m_buckets[b], decode_bucket(*ctx.block, b), size, m_rt);
    push(ctx);
}

uint16_t ModelHooks::loss_decision(EngineContext& ctx, int direction) {
    if (!ctx.block)
        return 0;
    pull(ctx);
    ModelParams p;
    p.loss = decode_loss(*ctx.block);
    p.series = decode_series(*ctx.block);
    p.congestion = decode_congestion(*ctx.block);
    const uint16_t flags = du_is_error_packet(m_state, p, m_rt, direction);
    push(ctx);
    return flags;
}

uint32_t ModelHooks::delay_us(EngineContext& ctx) {
    if (!ctx.block)
        return 0;
    pull(ctx);
    ModelParams p;
    p.delay = decode_delay(*ctx.block);
    p.loss.type = ctx.block->lossType();
    p.series = decode_series(*ctx.block);
    p.congestion = decode_congestion(*ctx.block);
    const uint64_t delay = du_get_next_delay_sample(m_state, p, m_rt);
    push(ctx);
    return static_cast<uint32_t>(delay);
}

RtePacket* ModelHooks::bit_errors(EngineContext& ctx, RtePacket* packet, PacketInfo& info,
                                  int direction) {
    if (!ctx.block)
        return packet;
    RteEffectsHost host(packet, info, direction, {m_work.get(), kWorkSize});
    const uint16_t flags =
        du_bit_error_rate(decode_bit_error(*ctx.block), m_rt, view_of(packet), host);
    if (flags == 0)
        return packet;
    info.flags |= flags;
    return host.copy() != nullptr ? host.copy() : packet;
}

void ModelHooks::duplicate(EngineContext& ctx, RtePacket* packet, PacketInfo& info, int direction) {
    if (!ctx.block)
        return;
    RteEffectsHost host(packet, info, direction, {m_work.get(), kWorkSize});
    du_duplicate_packet(decode_duplication(*ctx.block), m_rt, info.flags, host);
}

void ModelHooks::fragment(EngineContext& ctx, RtePacket* packet, PacketInfo& info, int direction) {
    if (!ctx.block)
        return;
    RteEffectsHost host(packet, info, direction, {m_work.get(), kWorkSize});
    du_fragmentation(decode_fragmentation(*ctx.block), m_rt, view_of(packet), info.flags, host);
}

void ModelHooks::periodic_tick(EngineContext& ctx) {
    if (!ctx.block)
        return;
    pull(ctx);
    ModelParams p;
    p.disconnect = decode_disconnect(*ctx.block);
    p.congestion = decode_congestion(*ctx.block);
    const uint32_t congestionEnd = m_state.congestion.end;
    du_calc_disconnect_chance(m_state, p, m_rt);
    du_make_congestion(m_state, p, m_rt);
    if (m_state.congestion.end != congestionEnd)
        m_congestionStart = m_state.congestion.start;
    push(ctx);
}

} // namespace quellin::models
