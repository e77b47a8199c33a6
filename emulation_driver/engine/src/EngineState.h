// Internal helpers shared by the engine's source files.
#pragma once

#include "quellin_engine/Engine.h"

namespace quellin::detail {

struct EngineState {
    EngineContext ctx;
    EngineModels defaultModels;
    EngineReporter defaultReporter;
    EngineModels* models = nullptr;
    EngineReporter* reporter = nullptr;
};

EngineState& engine();

PacketInfo* alloc_info();
void free_info(PacketInfo* info);
// Sends a packet on unchanged and frees its record; a dropped packet is freed instead.
void pass_on(RtePacket* packet, PacketInfo* info);

// Takes back what a packet of `size` IP bytes handed to queue `q` holds of the gateway link
// (its bucket place and queue counter) or of the WAN section (its queue counter), when it
// leaves other than by its stage.
void release_hold(int q, const PacketInfo* info, uint32_t size);

// Queue index of a stage (0 entry link, 1 WAN, 2 exit link) in a direction.
inline int queue_of(int stage, int direction) {
    return stage + 3 * (direction & 1);
}
// Bucket of a gateway link (stage 0 entry, 2 exit): East serves the entry outbound and the
// exit inbound, West the other two.
inline int gateway_bucket(int stage, int direction) {
    return (stage == 0) == ((direction & 1) == 0) ? kBucketEast : kBucketWest;
}
// Gateway queue counter of a bucket: 11 East, 12 West.
inline size_t gateway_counter(int bucket) {
    return bucket == kBucketEast ? wire::kCtrEastQueued : wire::kCtrWestQueued;
}

// Milliseconds of a timer for a wait in microseconds, rounded to the nearest.
inline uint32_t timer_ms(uint64_t delayUs) {
    return static_cast<uint32_t>((delayUs * 10 + 5) / 10000);
}

} // namespace quellin::detail
