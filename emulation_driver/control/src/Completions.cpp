#include "quellin_control/ControlDevice.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Records.h"

#include <algorithm>
#include <cstring>

namespace quellin {

void ControlDevice::send_stats_packets(EngineContext& ctx) {
    // Captured packets: whole records that fit before the time word, never past the
    // caller's buffer.
    Slot& captured = m_slots[0];
    if (captured.used) {
        rte_lock(kLockStores);
        const size_t fit = (captured.outputLength - 4) / wire::kPacketRecordSize;
        const size_t records = std::min<size_t>(fit, ctx.capturedCount);
        IoCompletion c;
        c.output.resize(records * wire::kPacketRecordSize + 4);
        for (size_t i = 0; i < records; ++i)
            std::memcpy(c.output.data() + i * wire::kPacketRecordSize, ctx.captured[i].data(),
                        wire::kPacketRecordSize);
        wire::put_u32(c.output.data(), records * wire::kPacketRecordSize, rte_gettimeofday());
        c.information = static_cast<uint32_t>(c.output.size());
        ctx.capturedCount = 0;
        ctx.unsentRecords = 0;
        rte_unlock(kLockStores);
        finish(captured, std::move(c));
    }

    for (size_t list = 0; list < kPacketLists; ++list) {
        Slot& slot = m_slots[1 + list];
        if (!slot.used)
            continue;
        rte_lock(kLockStores);
        const size_t held = std::min<size_t>(ctx.listWriteCounters[list], kListWritten);
        const size_t entries =
            std::min<size_t>(slot.outputLength / wire::kPacketListEntrySize, held);
        IoCompletion c;
        c.output.resize(entries * wire::kPacketListEntrySize);
        for (size_t i = 0; i < entries; ++i)
            std::memcpy(c.output.data() + i * wire::kPacketListEntrySize, ctx.lists[list][i].data(),
                        wire::kPacketListEntrySize);
        c.information = static_cast<uint32_t>(c.output.size());
        ctx.listWriteCounters[list] = 0;
        const bool keep = entries == 0 && !ctx.view.bypass;
        rte_unlock(kLockStores);
        if (!keep)
            finish(slot, std::move(c));
    }

    rte_lock(kLockStores);
    ctx.unsentRecords = 0;
    rte_unlock(kLockStores);
}

void ControlDevice::send_sim_queue_stats(EngineContext& ctx) {
    Slot& slot = m_slots[5];
    if (!slot.used)
        return;
    rte_lock(kLockCounters);
    auto& v = ctx.counters.values;
    for (int bucket : {kBucketEast, kBucketWest})
        if (v[wire::kCtrBucketFillSecond + bucket] == 0)
            v[wire::kCtrBucketFillSecond + bucket] = ctx.bucketFill[bucket];
    IoCompletion c;
    c.output.resize(wire::kDriverCountersSize);
    ctx.counters.encode(c.output.data());
    for (size_t i : {0, 1, 4, 5, 13, 14, 15})
        v[i] = 0;
    c.information = wire::kDriverCountersSize;
    rte_unlock(kLockCounters);
    finish(slot, std::move(c));
}

} // namespace quellin
