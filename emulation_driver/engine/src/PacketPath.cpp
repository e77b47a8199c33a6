#include "EngineState.h"

namespace quellin {

using namespace detail;

namespace {

struct GatewayLink {
    int bucket;
    uint32_t bandwidth;
    uint32_t overhead;
};

uint32_t overhead_of(const wire::DriverPlayBlock& b, int bucket) {
    return bucket == kBucketEast ? b.eastOverhead() : b.westOverhead();
}

// Entry gateway: East with "East out" outbound, West with "West out" inbound.
GatewayLink entry_link(const wire::DriverPlayBlock& b, int d) {
    const int bucket = gateway_bucket(0, d);
    return {bucket, d == 0 ? b.eastOut() : b.westOut(), overhead_of(b, bucket)};
}

// Exit gateway: West with "West in" outbound, East with "East in" inbound.
GatewayLink exit_link(const wire::DriverPlayBlock& b, int d) {
    const int bucket = gateway_bucket(2, d);
    return {bucket, d == 0 ? b.westIn() : b.eastIn(), overhead_of(b, bucket)};
}

// Step 7 of the WAN entry: straight to the WAN exit right after a load when there is no
// delay, else through the packet's own WAN queue.
void wan_enqueue(RtePacket* packet, PacketInfo* info, int d, uint64_t delayUs) {
    auto& ctx = engine().ctx;
    if (ctx.loadFlag && delayUs == 0) {
        nuvex_send_packet(packet, info, d);
        return;
    }
    ctx.loadFlag = false;
    du_add_Packet_To_TimerQueue(queue_of(1, d), delayUs, packet, info);
}

// Outside an emulation (bypass, or no block) a packet passes on unchanged, or is freed when
// its record says it was dropped; true when that happened.
bool passed_on_idle(RtePacket* packet, PacketInfo* info) {
    const auto& ctx = engine().ctx;
    if (!ctx.view.bypass && ctx.block)
        return false;
    pass_on(packet, info);
    return true;
}

// Next number in arrival order for a packet record.
uint32_t next_sequence(EngineContext& ctx) {
    rte_lock(kLockStores);
    const uint32_t n = ++ctx.sequence;
    rte_unlock(kLockStores);
    return n;
}

// Whether a stop put the engine in bypass while the packet waited in queue `q`.
bool caught_by_stop(const EngineContext& ctx, int q) {
    rte_lock_by_dir(1, q);
    const bool caught = ctx.view.bypass;
    rte_unlock_by_dir(1, q);
    return caught;
}

using Stage = void (*)(RtePacket*, PacketInfo*, int);

// A gateway link: a packet not yet dropped joins the link's bucket (or is dropped when it is
// full), then goes to `next` at once when the link takes no time, else through the timer
// queue of `stage` (without waiting when it is dropped).
void through_gateway(const GatewayLink& link, int stage, Stage next, RtePacket* packet,
                     PacketInfo* info, int d) {
    auto& s = engine();
    const uint32_t size = rte_get_packet_size(packet);
    if (!is_dropped(info)) {
        if (s.models->bucket_add(s.ctx, link.bucket, size))
            du_counter_up(gateway_counter(link.bucket));
        else
            info->flags |= wire::kFlagBucketDrop;
    }
    const uint64_t t = du_transmission_time(size, link.overhead, link.bandwidth);
    if (t == 0)
        next(packet, info, d);
    else
        du_add_Packet_To_TimerQueue(queue_of(stage, d), is_dropped(info) ? 0 : t, packet, info);
}

// The packet has left the link's bucket.
void leave_gateway(const GatewayLink& link, RtePacket* packet) {
    auto& s = engine();
    s.models->bucket_remove(s.ctx, link.bucket, rte_get_packet_size(packet));
    du_counter_down(gateway_counter(link.bucket));
}

} // namespace

void du_new_packet_gateway(RtePacket* packet, int direction) {
    auto& s = engine();
    auto& ctx = s.ctx;
    const int d = direction & 1;
    if (ctx.view.bypass || !ctx.block) {
        rte_transmit(packet);
        return;
    }
    PacketInfo* info = alloc_info();
    if (!info) {
        rte_free_cookie(packet);
        return;
    }
    rte_set_direction(packet, d);
    info->sequence = next_sequence(ctx);
    du_write_list_entry(d == 0 ? 0 : 2, info->sequence, info->flags);
    // A new record carries no drop yet, so the packet always joins the entry bucket.
    through_gateway(entry_link(*ctx.block, d), 0, nuvex_receive, packet, info, d);
}

void nuvex_receive(RtePacket* packet, PacketInfo* info, int direction) {
    auto& s = engine();
    auto& ctx = s.ctx;
    const int d = direction & 1;
    if (passed_on_idle(packet, info))
        return;
    du_write_list_entry(d == 0 ? 1 : 3, info->sequence, info->flags);

    if (caught_by_stop(ctx, queue_of(1, d))) {
        pass_on(packet, info);
        return;
    }

    const wire::DriverPlayBlock& b = *ctx.block;
    if (!is_dropped(info))
        leave_gateway(entry_link(b, d), packet);
    info->flags |= s.models->loss_decision(ctx, d);
    uint64_t delay = s.models->delay_us(ctx);
    du_counter_up(wire::kCtrWanPackets);
    if (is_dropped(info))
        delay = 0;

    rte_lock(kLockReorder);
    ReorderSlot& slot = ctx.reorder;
    if (!is_dropped(info) && b.outOfOrderChance() != 0 && slot.packet == nullptr &&
        du_rand(1, 100) <= b.outOfOrderChance()) {
        slot.packet = packet;
        slot.info = info;
        slot.sequence = info->sequence;
        slot.direction = d;
        slot.target =
            static_cast<uint16_t>(du_rand(b.outOfOrderMinRange(), b.outOfOrderMaxRange()));
        slot.count = 0;
        info->flags |= wire::kFlagHeld;
        rte_unlock(kLockReorder);
        return;
    }
    rte_unlock(kLockReorder);

    wan_enqueue(packet, info, d, delay);

    rte_lock(kLockReorder);
    RtePacket* released = nullptr;
    PacketInfo* releasedInfo = nullptr;
    int releasedDirection = 0;
    if (slot.packet != nullptr) {
        ++slot.count;
        if (slot.count >= slot.target) {
            released = slot.packet;
            releasedInfo = slot.info;
            releasedDirection = slot.direction;
            slot = ReorderSlot{};
        }
    }
    rte_unlock(kLockReorder);
    if (released)
        wan_enqueue(released, releasedInfo, releasedDirection, delay);
}

void nuvex_send_packet(RtePacket* packet, PacketInfo* info, int direction) {
    auto& s = engine();
    auto& ctx = s.ctx;
    const int d = direction & 1;
    if (passed_on_idle(packet, info))
        return;
    du_write_list_entry(d == 0 ? 3 : 1, info->sequence, info->flags);
    if (!is_dropped(info)) {
        RtePacket* carried = s.models->bit_errors(ctx, packet, *info, d);
        if (carried && carried != packet) {
            rte_free_cookie(packet);
            packet = carried;
        }
        if (!is_dropped(info)) {
            s.models->duplicate(ctx, packet, *info, d);
            s.models->fragment(ctx, packet, *info, d);
        }
    }
    du_counter_down(wire::kCtrWanPackets);
    gateway_receive_from_nuvex(packet, info, d);
}

void gateway_receive_from_nuvex(RtePacket* packet, PacketInfo* info, int direction) {
    auto& ctx = engine().ctx;
    const int d = direction & 1;
    if (passed_on_idle(packet, info))
        return;
    through_gateway(exit_link(*ctx.block, d), 2, gateway_release_packet, packet, info, d);
}

void gateway_release_packet(RtePacket* packet, PacketInfo* info, int direction) {
    auto& ctx = engine().ctx;
    const int d = direction & 1;
    if (passed_on_idle(packet, info))
        return;
    du_write_list_entry(d == 0 ? 2 : 0, info->sequence, info->flags);
    du_write_stats_packets(packet, info->sequence, d);

    if (is_dropped(info)) {
        rte_free_cookie(packet);
        free_info(info);
        return;
    }
    if (!caught_by_stop(ctx, queue_of(2, d)))
        leave_gateway(exit_link(*ctx.block, d), packet);
    rte_transmit(packet);
    free_info(info);
}

void du_introduce_new_packet(RtePacket* packet, const PacketInfo& parentInfo, int parentDirection,
                             bool icmpError) {
    auto& ctx = engine().ctx;
    PacketInfo* info = alloc_info();
    if (!info) {
        rte_free_cookie(packet);
        return;
    }
    *info = parentInfo;
    info->sequence = next_sequence(ctx);
    // The entry tells the new sequence number; its flags are written as 0 rather than left
    // as an earlier round of the list had them.
    du_write_list_entry(parentDirection == 0 ? 3 : 1, info->sequence, 0);
    du_counter_up(wire::kCtrWanPackets);
    gateway_receive_from_nuvex(packet, info, icmpError ? 1 : parentDirection);
    du_counter_down(wire::kCtrWanPackets);
}

} // namespace quellin
