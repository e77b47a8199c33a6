#include "EngineState.h"

namespace quellin {

using namespace detail;

namespace {

bool is_gateway_queue(int q) {
    return q % 3 != 1;
}

void free_entry(QueueEntry* e) {
    rte_free(e, sizeof(QueueEntry));
}

// Hands the head's packet to the stage its queue leads to.
void handle(QueueEntry* e) {
    const int d = e->queue / 3;
    switch (e->queue % 3) {
    case 0:
        nuvex_receive(e->packet, e->info, d);
        break;
    case 1:
        nuvex_send_packet(e->packet, e->info, d);
        break;
    default:
        gateway_release_packet(e->packet, e->info, d);
        break;
    }
    e->packet = nullptr;
    e->info = nullptr;
}

// Drops the head's packet when no timer can be armed for it, giving back its place.
void drop_head_packet(QueueEntry* e) {
    release_hold(e->queue, e->info, e->size);
    rte_free_cookie(e->packet);
    free_info(e->info);
    e->packet = nullptr;
    e->info = nullptr;
}

// Empties a queue, sending every packet on unchanged (dropped ones are freed).
void drain(int q) {
    TimerQueue& queue = engine().ctx.queues[q];
    rte_lock_by_dir(1, q);
    QueueEntry* e = queue.head;
    queue.head = queue.tail = nullptr;
    queue.length = 0;
    queue.carried = 0;
    if (e && e->timer >= 0) {
        rte_cancel_timer(e->timer);
        e->timer = -1;
    }
    rte_unlock_by_dir(1, q);
    while (e) {
        QueueEntry* next = e->next;
        if (e->packet)
            pass_on(e->packet, e->info);
        free_entry(e);
        e = next;
    }
}

} // namespace

void du_add_Packet_To_TimerQueue(int q, uint64_t delayUs, RtePacket* packet, PacketInfo* info) {
    auto& ctx = engine().ctx;
    void* m = rte_alloc(sizeof(QueueEntry));
    if (!m) {
        // Dropped for want of an entry: what it holds of its stage goes back with it.
        release_hold(q, info, rte_get_packet_size(packet));
        rte_free_cookie(packet);
        free_info(info);
        return;
    }
    auto* e = new (m) QueueEntry{};
    const uint64_t now = rte_gettime();
    e->due = now + delayUs;
    e->info = info;
    e->size = rte_get_packet_size(packet);
    e->sequence = info ? info->sequence : 0;
    e->packet = packet;
    e->queue = static_cast<uint8_t>(q);

    TimerQueue& queue = ctx.queues[q];
    rte_lock_by_dir(1, q);
    if (ctx.view.bypass) {
        // Caught between stages while the emulation stops: it passes on unchanged.
        rte_unlock_by_dir(1, q);
        pass_on(packet, info);
        free_entry(e);
        return;
    }
    if (queue.head != nullptr) {
        if (is_gateway_queue(q))
            e->due = queue.tail->due + delayUs; // the link sends one packet after another
        queue.tail->next = e;
        queue.tail = e;
        ++queue.length;
        rte_unlock_by_dir(1, q);
        return;
    }
    queue.head = queue.tail = e;
    queue.length = 1;
    if (is_gateway_queue(q) && queue.carried != 0 && delayUs > 0) {
        if (queue.carried > now) {
            e->due += queue.carried - now;
            delayUs += queue.carried - now;
        }
        queue.carried = 0;
    }
    rte_unlock_by_dir(1, q);

    if (delayUs < 1000) {
        handle(e);
        du_schedule_next(q);
        return;
    }
    e->timer = rte_schedule(timer_ms(delayUs), e);
    if (e->timer < 0) {
        drop_head_packet(e);
        du_schedule_next(q);
    }
}

void du_schedule_next(int q) {
    auto& ctx = engine().ctx;
    TimerQueue& queue = ctx.queues[q];
    for (;;) {
        rte_lock_by_dir(1, q);
        QueueEntry* done = queue.head;
        if (done == nullptr) {
            rte_unlock_by_dir(1, q);
            return;
        }
        queue.head = done->next;
        if (queue.head == nullptr)
            queue.tail = nullptr;
        --queue.length;
        queue.carried = done->due;
        QueueEntry* next = queue.head;
        rte_unlock_by_dir(1, q);
        free_entry(done);
        if (next == nullptr)
            return;

        const uint64_t now = rte_gettime();
        const uint64_t remaining = next->due > now ? next->due - now : 0;
        if (remaining >= 1000) {
            next->timer = rte_schedule(timer_ms(remaining), next);
            if (next->timer >= 0)
                return;
            drop_head_packet(next);
            continue;
        }
        if (ctx.view.bypass) {
            drain(q);
            return;
        }
        handle(next);
    }
}

void du_cancel_timers() {
    for (int q = 0; q < kQueueCount; ++q)
        drain(q);
}

namespace {

void periodic_tick() {
    auto& s = engine();
    auto& ctx = s.ctx;
    ctx.periodicTimer = -1;
    s.reporter->send_stats_packets(ctx);
    s.reporter->send_sim_queue_stats(ctx);
    if (!ctx.view.bypass && ctx.block)
        s.models->periodic_tick(ctx);
    if (ctx.timerPeriodMs != 0)
        ctx.periodicTimer = rte_schedule(ctx.timerPeriodMs, nullptr);
}

} // namespace

void du_timer(void* context) {
    if (context == nullptr) {
        periodic_tick();
        return;
    }
    auto* e = static_cast<QueueEntry*>(context);
    const int q = e->queue;
    TimerQueue& queue = engine().ctx.queues[q];
    if (queue.head != e)
        return; // not the head any more: its queue was emptied
    e->timer = -1;
    if (engine().ctx.view.bypass) {
        // Stopped, loaded or closed meanwhile: what waits passes on unchanged.
        drain(q);
        return;
    }
    handle(e);
    du_schedule_next(q);
}

} // namespace quellin
