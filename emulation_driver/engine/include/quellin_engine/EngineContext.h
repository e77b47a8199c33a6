// The engine's one context record: the loaded play block, the stores the control device
// reads, the queue counters, the six timer queues, the reordering slot and the state the
// loss, delay and bucket models keep between packets.
#pragma once

#include "quellin_rte/PacketLayer.h"
#include "quellin_wire/DriverPlayBlock.h"
#include "quellin_wire/Records.h"

#include <array>
#include <cstdint>
#include <memory>

namespace quellin {

inline constexpr size_t kCaptureSlots = 5001;
inline constexpr uint16_t kCaptureWrapAt = 5000;
inline constexpr size_t kPacketLists = 4;
inline constexpr size_t kListSlots = 7001;
inline constexpr uint16_t kListWritten = 7000;
inline constexpr int kQueueCount = 6;
inline constexpr uint16_t kPeriodMs = 1000;
inline constexpr int kBucketEast = 0;
inline constexpr int kBucketWest = 1;

// Lock indexes.
inline constexpr int kLockStores = 0;
inline constexpr int kLockCounters = 11;
inline constexpr int kLockReorder = 12;

// Per-packet record, one for every packet inside the engine.
struct PacketInfo {
    uint32_t sequence = 0;
    uint16_t flags = 0;
    uint32_t reserved = 0;
};

inline bool is_dropped(const PacketInfo* info) {
    return (info->flags & wire::kDroppedMask) != 0;
}

// One packet waiting in a timer queue.
struct QueueEntry {
    uint64_t due = 0; // µs of rte_gettime
    PacketInfo* info = nullptr;
    uint32_t size = 0;
    uint32_t sequence = 0;
    int timer = -1;
    RtePacket* packet = nullptr;
    QueueEntry* next = nullptr;
    uint8_t queue = 0;
};
static_assert(sizeof(QueueEntry) <= kRteBlockSize);
static_assert(sizeof(PacketInfo) <= kRteBlockSize);

struct TimerQueue {
    QueueEntry* head = nullptr;
    QueueEntry* tail = nullptr;
    uint64_t carried = 0; // due time of the last head served
    uint32_t length = 0;
};

struct ReorderSlot {
    RtePacket* packet = nullptr;
    PacketInfo* info = nullptr;
    uint32_t sequence = 0;
    uint16_t target = 0;
    uint16_t count = 0;
    int direction = 0;
};

struct EngineContext {
    // What the classifier reads: the bypass flag (set: every packet passes straight
    // through) and the loaded block.
    RteFilterView view;
    std::unique_ptr<wire::DriverPlayBlock> block;
    size_t blockLength = 0; // as loaded, 0 when none
    bool loadFlag = false;

    // Stores read by the control device, guarded by lock 0. The records and list entries
    // are read only below their counts, so only what was written since a count went to 0
    // is ever read: du_init makes the state without zeroing their 660 KB (a load clears
    // the lists in one go).
    uint32_t sequence = 0;
    std::array<std::array<uint8_t, wire::kPacketRecordSize>, kCaptureSlots> captured;
    uint16_t capturedCount = 0;
    uint16_t unsentRecords = 0;
    std::array<std::array<std::array<uint8_t, wire::kPacketListEntrySize>, kListSlots>,
               kPacketLists>
        lists;
    std::array<uint16_t, kPacketLists> listWriteCounters{};
    uint16_t timerPeriodMs = 0;
    int periodicTimer = -1;

    // Queue counters, guarded by lock 11.
    wire::DriverCounters counters;

    // Kept for the models.
    uint64_t emulationStartUs = 0;
    uint32_t meanDelayMs = 0;
    uint16_t adapterNumber = 0;
    std::array<uint32_t, 2> bucketFill{};
    std::array<uint16_t, 2> lossCounter{};
    std::array<uint16_t, 2> burstFlag{};
    std::array<uint16_t, 2> burstLength{};
    uint32_t gilbertState = 0;
    uint16_t seriesPosition = 0;
    uint64_t seriesStepUs = 0;
    uint32_t disconnectEndMs = 0;
    uint32_t disconnectLengthMs = 0;
    uint32_t congestionEndMs = 0;
    uint32_t walkDelayMs = 0;
    // The RED states and their statistics live with the buckets of the models.

    ReorderSlot reorder;
    std::array<TimerQueue, kQueueCount> queues{};
};

} // namespace quellin
