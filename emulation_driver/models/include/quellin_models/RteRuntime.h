// The models' runtime on the packet-and-timer layer.
#pragma once

#include "quellin_models/Runtime.h"
#include "quellin_rte/PacketLayer.h"

namespace quellin::models {

// The engine must not hold lock 0 or 11 when it calls into the models that take them
// (bucket offers, du_introduce_new_packet).
class RteRuntime final : public ModelRuntime {
public:
    uint16_t rand() override { return rte_rand(); }
    uint64_t gettime() override { return rte_gettime(); }
    uint32_t gettimeofday() override { return rte_gettimeofday(); }
    void lock(unsigned index) override { rte_lock(static_cast<int>(index)); }
    void unlock(unsigned index) override { rte_unlock(static_cast<int>(index)); }
};

} // namespace quellin::models
