#include "EngineState.h"

#include "quellin_rte/RandomRange.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <sanitizer/asan_interface.h>

namespace quellin {

namespace detail {
namespace {
// The engine's state is built in place here by du_init and ended by du_shutdown: its 660 KB
// of stores are neither allocated nor zeroed again for every start (EngineContext). Between
// a shut-down and the next start the storage is poisoned, so that a use of the state in
// between is caught where AddressSanitizer runs.
alignas(EngineState) std::byte g_storage[sizeof(EngineState)];
EngineState* g_engine = nullptr;

void end_state() {
    if (!g_engine)
        return;
    g_engine->~EngineState();
    g_engine = nullptr;
    ASAN_POISON_MEMORY_REGION(g_storage, sizeof g_storage);
}
} // namespace

EngineState& engine() {
    return *g_engine;
}

PacketInfo* alloc_info() {
    void* m = rte_alloc(sizeof(PacketInfo));
    return m ? new (m) PacketInfo{} : nullptr;
}

void free_info(PacketInfo* info) {
    if (info)
        rte_free(info, sizeof(PacketInfo));
}

void pass_on(RtePacket* packet, PacketInfo* info) {
    if (info && is_dropped(info))
        rte_free_cookie(packet);
    else
        rte_transmit(packet);
    free_info(info);
}

} // namespace detail

using detail::engine;

bool du_init(EngineModels* models, EngineReporter* reporter) {
    if (!rte_initialised())
        return false;
    detail::end_state();
    ASAN_UNPOISON_MEMORY_REGION(detail::g_storage, sizeof detail::g_storage);
    // Default-initialised: every member has its initialiser except the stores' contents.
    auto* s = new (detail::g_storage) detail::EngineState;
    s->models = models ? models : &s->defaultModels;
    s->reporter = reporter ? reporter : &s->defaultReporter;
    s->ctx.view.bypass = true;
    s->ctx.view.block = nullptr;
    detail::g_engine = s;
    rte_set_filter_view(&detail::g_engine->ctx.view);
    rte_set_timer_callback(du_timer);
    detail::g_engine->models->on_start(detail::g_engine->ctx);
    return true;
}

void du_shutdown() {
    if (!detail::g_engine)
        return;
    if (rte_initialised()) {
        rte_set_filter_view(nullptr);
        rte_set_timer_callback(nullptr);
    }
    detail::end_state();
}

EngineContext& du_context() {
    return engine().ctx;
}

EngineModels& du_models() {
    return *engine().models;
}

uint16_t du_rand(uint32_t a, uint32_t b) {
    return rand_in_range(rte_rand(), a, b);
}

uint64_t du_transmission_time(uint32_t ipLength, uint32_t overhead, uint32_t bandwidth) {
    // A bandwidth of 0 never comes from the control library; a block loaded despite a bad
    // header could still carry one, and it counts as unlimited rather than dividing by 0.
    if (bandwidth == wire::pb::kUnlimitedBandwidth || bandwidth == 0)
        return 0;
    return (uint64_t{ipLength} + overhead) * 80000u / bandwidth;
}

void du_write_list_entry(int list, uint32_t sequence, uint16_t flags) {
    auto& ctx = engine().ctx;
    rte_lock(kLockStores);
    auto& counter = ctx.listWriteCounters[list];
    const wire::PacketListEntry e{sequence, flags, rte_gettimeofday()};
    e.encode(ctx.lists[list][counter % kListWritten].data());
    // Once the list is full the counter stays between 7,000 and 13,999: the slot order
    // goes on, and a full list never reads as empty when the u16 would wrap.
    ++counter;
    if (counter >= 2 * kListWritten)
        counter -= kListWritten;
    rte_unlock(kLockStores);
}

void du_write_stats_packets(RtePacket* packet, uint32_t sequence, int side) {
    auto& s = engine();
    auto& ctx = s.ctx;
    if (ctx.view.bypass)
        return;
    rte_lock(kLockStores);
    uint8_t* slot = ctx.captured[ctx.capturedCount].data();
    wire::put_u32(slot, 0, sequence);
    wire::put_u16(slot, 4, static_cast<uint16_t>(side));
    rte_get_data(packet, slot + 6, 0, wire::kPacketRecordDataSize);
    ctx.capturedCount = ctx.capturedCount >= kCaptureWrapAt ? 0 : ctx.capturedCount + 1;
    ++ctx.unsentRecords;
    const bool early = ctx.timerPeriodMs != 0 && ctx.unsentRecords >= 25;
    rte_unlock(kLockStores);
    if (early)
        s.reporter->send_stats_packets(ctx);
}

void du_counter_up(size_t index) {
    auto& c = engine().ctx.counters.values;
    rte_lock(kLockCounters);
    const size_t i = index - wire::kCtrWanPackets;
    ++c[index];
    c[wire::kCtrQueueMaxSecond + i] = std::max(c[wire::kCtrQueueMaxSecond + i], c[index]);
    c[wire::kCtrQueueMaxTotal + i] = std::max(c[wire::kCtrQueueMaxTotal + i], c[index]);
    rte_unlock(kLockCounters);
}

void du_counter_down(size_t index) {
    auto& c = engine().ctx.counters.values;
    rte_lock(kLockCounters);
    // Load zeroes the counters while packets may still be on their way out.
    if (c[index] > 0)
        --c[index];
    rte_unlock(kLockCounters);
}

} // namespace quellin
