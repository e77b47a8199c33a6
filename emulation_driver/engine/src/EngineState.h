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

inline bool bypass() {
    return engine().ctx.view.bypass;
}

PacketInfo* alloc_info();
void free_info(PacketInfo* info);
// Sends a packet on unchanged and frees its record; a dropped packet is freed instead.
void pass_on(RtePacket* packet, PacketInfo* info);

// Queue index of a stage (0 entry link, 1 WAN, 2 exit link) in a direction.
inline int queue_of(int stage, int direction) {
    return stage + 3 * (direction & 1);
}
// Gateway queue counter of a bucket: 11 East, 12 West.
inline size_t gateway_counter(int bucket) {
    return bucket == kBucketEast ? wire::kCtrEastQueued : wire::kCtrWestQueued;
}

} // namespace quellin::detail
