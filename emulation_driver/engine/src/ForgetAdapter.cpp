#include "EngineState.h"

namespace quellin {

using namespace detail;

namespace detail {

void release_hold(int q, const PacketInfo* info, uint32_t size) {
    auto& s = engine();
    auto& ctx = s.ctx;
    const int d = q / 3;
    const int stage = q % 3;
    if (stage == 1) {
        du_counter_down(wire::kCtrWanPackets);
        return;
    }
    if (info && is_dropped(info))
        return; // a dropped packet never took a place in the bucket
    if (!ctx.block)
        return;
    const int bucket = gateway_bucket(stage, d);
    s.models->bucket_remove(ctx, bucket, size);
    du_counter_down(gateway_counter(bucket));
}

} // namespace detail

namespace {

// Arms the timer of a queue's new head after the old head was taken out.
void rearm_head(int q) {
    TimerQueue& queue = engine().ctx.queues[q];
    while (QueueEntry* head = queue.head) {
        if (head->timer >= 0)
            return;
        const uint64_t now = rte_gettime();
        const uint64_t remaining = head->due > now ? head->due - now : 0;
        const uint32_t ms = remaining >= 1000 ? timer_ms(remaining) : 1;
        head->timer = rte_schedule(ms, head);
        if (head->timer >= 0)
            return;
        // No timer: the packet cannot wait, it is dropped like any head without one.
        queue.head = head->next;
        if (!queue.head)
            queue.tail = nullptr;
        --queue.length;
        release_hold(q, head->info, head->size);
        rte_free_cookie(head->packet);
        free_info(head->info);
        rte_free(head, sizeof(QueueEntry));
    }
}

} // namespace

size_t du_forget_adapter(const RteAdapter* adapter) {
    auto& ctx = engine().ctx;
    size_t freed = 0;

    rte_lock(kLockReorder);
    ReorderSlot held{};
    if (ctx.reorder.packet && ctx.reorder.packet->adapter == adapter) {
        held = ctx.reorder;
        ctx.reorder = ReorderSlot{};
    }
    rte_unlock(kLockReorder);
    if (held.packet) {
        du_counter_down(wire::kCtrWanPackets);
        rte_free_cookie(held.packet);
        free_info(held.info);
        ++freed;
    }

    for (int q = 0; q < kQueueCount; ++q) {
        TimerQueue& queue = ctx.queues[q];
        rte_lock_by_dir(1, q);
        bool headGone = false;
        QueueEntry* kept = nullptr;
        QueueEntry* keptTail = nullptr;
        QueueEntry* gone = nullptr;
        for (QueueEntry* e = queue.head; e;) {
            QueueEntry* next = e->next;
            e->next = nullptr;
            if (e->packet && e->packet->adapter == adapter) {
                if (e == queue.head) {
                    headGone = true;
                    if (e->timer >= 0)
                        rte_cancel_timer(e->timer);
                    e->timer = -1;
                }
                e->next = gone;
                gone = e;
                --queue.length;
            } else {
                if (keptTail)
                    keptTail->next = e;
                else
                    kept = e;
                keptTail = e;
            }
            e = next;
        }
        queue.head = kept;
        queue.tail = keptTail;
        rte_unlock_by_dir(1, q);

        while (gone) {
            QueueEntry* next = gone->next;
            release_hold(q, gone->info, gone->size);
            rte_free_cookie(gone->packet);
            free_info(gone->info);
            rte_free(gone, sizeof(QueueEntry));
            ++freed;
            gone = next;
        }
        if (headGone)
            rearm_head(q);
    }
    return freed;
}

} // namespace quellin
