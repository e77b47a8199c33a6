#include "EngineState.h"

#include "AltirenPlayCheck/PlayBlockCheck.h"

#include <cstring>
#include <memory>
#include <new>

namespace quellin {

using namespace detail;

void du_set_bypass(bool bypass) {
    engine().ctx.view.bypass = bypass;
    // No packet enters the WAN while bypassed, so a held one would never be released.
    if (bypass)
        du_release_held_packet();
}

void du_release_held_packet() {
    auto& ctx = engine().ctx;
    rte_lock(kLockReorder);
    ReorderSlot held = ctx.reorder;
    ctx.reorder = ReorderSlot{};
    rte_unlock(kLockReorder);
    if (held.packet)
        pass_on(held.packet, held.info);
}

uint16_t du_load_play_block(const uint8_t* data, size_t length, uint16_t checksum) {
    auto& s = engine();
    auto& ctx = s.ctx;
    ctx.view.bypass = true;
    ctx.loadFlag = false;
    ctx.lossCounter = {};
    ctx.burstFlag = {};
    ctx.burstLength = {};
    ctx.seriesPosition = 0;
    ctx.seriesStepUs = 0;
    ctx.gilbertState = 0;
    ctx.bucketFill = {};

    rte_lock(kLockStores);
    ctx.capturedCount = 0;
    ctx.unsentRecords = 0;
    ctx.sequence = 0;
    ctx.listWriteCounters = {};
    std::memset(ctx.lists.data(), 0, sizeof ctx.lists);
    rte_unlock(kLockStores);

    ctx.view.block = nullptr;
    ctx.block.reset();
    ctx.blockLength = 0;
    uint16_t result = wire::check_play_block(data, length, checksum);
    try {
        auto block = std::make_unique<wire::DriverPlayBlock>(
            wire::DriverPlayBlock::from_bytes(data, data ? length : 0));
        // A block with a field the control library refuses is not kept at all, whatever
        // its header and checksum: every packet's work stays within what those checks allow.
        if (altiren_api::check_play_block_fields(*block) != 0) {
            if (result == 0)
                result = 6;
        } else {
            ctx.block = std::move(block);
            ctx.blockLength = data ? length : 0;
            ctx.view.block = ctx.block.get();
        }
    } catch (const std::bad_alloc&) {
        result = 6; // no memory for the block: none is kept
    }
    if (result == 0) {
        ctx.meanDelayMs = (uint32_t{ctx.block->maxDelay()} + ctx.block->minDelay()) / 2;
        ctx.walkDelayMs = ctx.meanDelayMs;
        ctx.loadFlag = true;
        ctx.adapterNumber = ctx.block->adapterNumber();
        ctx.view.adapterNumber = ctx.adapterNumber;
    }

    du_release_held_packet();
    ctx.disconnectEndMs = 0;
    ctx.congestionEndMs = 0;
    rte_lock(kLockCounters);
    ctx.counters = {};
    rte_unlock(kLockCounters);
    s.models->on_load(ctx); // resets both RED states
    ctx.emulationStartUs = rte_gettime();
    return result;
}

bool du_stop() {
    auto& ctx = engine().ctx;
    if (ctx.view.bypass)
        return false;
    ctx.view.bypass = true;
    if (ctx.block) {
        auto& b = *ctx.block;
        b.setEastOut(wire::pb::kUnlimitedBandwidth);
        b.setEastIn(wire::pb::kUnlimitedBandwidth);
        b.setWestOut(wire::pb::kUnlimitedBandwidth);
        b.setWestIn(wire::pb::kUnlimitedBandwidth);
        b.setEastBucketSize(wire::pb::kUnlimitedBucket);
        b.setWestBucketSize(wire::pb::kUnlimitedBucket);
        b.setEastOverhead(0);
        b.setWestOverhead(0);
        b.setMinDelay(0);
        b.setDelayType(0);
        b.setLossType(0);
    }
    ctx.burstFlag = {};
    ctx.timerPeriodMs = 0;
    if (ctx.periodicTimer >= 0) {
        rte_cancel_timer(ctx.periodicTimer);
        ctx.periodicTimer = -1;
    }
    ctx.disconnectEndMs = 0;
    ctx.congestionEndMs = 0;
    du_release_held_packet();
    du_cancel_timers();
    return true;
}

void du_play() {
    auto& ctx = engine().ctx;
    ctx.view.bypass = true;
    du_release_held_packet();
    ctx.timerPeriodMs = kPeriodMs;
    // A second play while one runs keeps a single periodic timer.
    if (ctx.periodicTimer >= 0)
        rte_cancel_timer(ctx.periodicTimer);
    ctx.periodicTimer = rte_schedule(ctx.timerPeriodMs, nullptr);
}

} // namespace quellin
