// Internal state of the packet layer, shared by its source files.
#pragma once

#include "quellin_rte/PacketLayer.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace quellin::detail {

// The frame buffers and blocks are left untouched until first used, so that a large
// configured pool costs memory only as it fills.
class PacketPool {
public:
    PacketPool(RteAdapter* adapter, uint8_t pool, uint32_t count, uint32_t capacity);
    RtePacket* take();
    void give(RtePacket* packet);
    uint32_t free_count() const { return m_free; }

private:
    std::vector<RtePacket> m_packets;
    std::unique_ptr<uint8_t[]> m_storage;
    RtePacket* m_head = nullptr;
    uint32_t m_free = 0;
};

class BlockPool {
public:
    explicit BlockPool(uint32_t count);
    void* take();
    void give(void* block);
    uint32_t free_count() const { return m_free; }
    uint32_t total() const { return m_total; }

private:
    struct Block {
        Block* next;
    };
    std::unique_ptr<std::byte[]> m_storage;
    Block* m_head = nullptr; // blocks given back
    uint32_t m_fresh = 0;    // blocks never taken start here
    uint32_t m_free = 0;
    uint32_t m_total = 0;
};

struct RteState {
    RteConfig config;
    RteSeams seams;
    std::unique_ptr<BlockPool> blocks;
    std::vector<std::unique_ptr<RteAdapter>> adapters; // slot order
    const RteFilterView* filter = nullptr;
    rte::TimerCallback timerCallback = nullptr;
    uint64_t startUs = 0;
    uint32_t startTodMs = 0;
    bool locks[kRteLockCount] = {};
    bool queueLocks[kRteQueueLockCount] = {};
};

RteState& state();

} // namespace quellin::detail

namespace quellin {

struct RteAdapter {
    std::string name;
    uint16_t number = 0;
    uint32_t medium = kMedium8023;
    std::unique_ptr<detail::PacketPool> pools[2];
    uint32_t refused[2] = {0, 0};
    std::vector<uint32_t> stationV4; // host order
    std::vector<std::array<uint8_t, 16>> stationV6;
};

} // namespace quellin
