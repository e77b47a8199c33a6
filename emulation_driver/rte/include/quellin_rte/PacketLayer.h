// The packet-and-timer layer the engine runs on: packets in contiguous frame buffers from
// fixed pools per adapter and direction, fixed-size memory blocks, locks, one-shot timers,
// clocks and the classifier. One instance per process, set up by rte_init.
#pragma once

#include "quellin_rte/Seams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quellin::wire {
class DriverPlayBlock;
}

namespace quellin {

inline constexpr int kRteLockCount = 13;
inline constexpr int kRteQueueLockCount = 6;
inline constexpr size_t kRteMaxAdapters = 15;
inline constexpr uint32_t kMedium8023 = 0;
inline constexpr uint16_t kRtePacketTransmitted = 0x04;
// Block size of rte_alloc; larger requests fail.
inline constexpr size_t kRteBlockSize = 64;

struct RteConfig {
    // Descriptors per adapter and direction.
    uint32_t packetPoolSize = 510;
    // Capacity of every frame buffer in bytes.
    uint32_t frameCapacity = 2048;
    // Blocks of kRteBlockSize bytes for rte_alloc; 0 gives two per descriptor of a full
    // adapter table.
    uint32_t allocBlocks = 0;
};

struct RteSeams {
    rte::Clock* clock = nullptr;
    rte::RandomSource* random = nullptr;
    rte::TimerService* timers = nullptr;
    rte::TransmitSink* sink = nullptr;
};

// What the classifier reads of the engine: the bypass flag, the loaded block (none when
// null) and the adapter number copied from the last block that loaded without fault.
// The engine owns it and keeps it current.
struct RteFilterView {
    bool bypass = true;
    const wire::DriverPlayBlock* block = nullptr;
    uint16_t adapterNumber = 0;
};

struct RteAdapter;

// A packet the layer owns: one descriptor with its frame buffer.
struct RtePacket {
    RteAdapter* adapter = nullptr;
    uint8_t* frame = nullptr;
    uint32_t length = 0;
    uint32_t capacity = 0;
    uint16_t flags = 0;      // kRtePacketTransmitted
    uint16_t linkHeader = 0; // 14 or 22; 0 when the frame is too short for its link header
    uint16_t etherType = 0;
    uint8_t direction = 0; // 0 down to the adapter, 1 up to the station
    uint8_t pool = 0;      // pool it came from (its direction at allocation)
    bool inUse = false;
    RtePacket* nextFree = nullptr;
};

// Set-up and tear-down. rte_init makes the memory pool; false when the seams are missing or
// the pool cannot be made.
bool rte_init(const RteConfig& config, const RteSeams& seams);
void rte_shutdown();
bool rte_initialised();

// Binds an adapter: the first free slot of the table (number = slot + 1) with its two
// pools. Null when the table is full.
RteAdapter* rte_bind_adapter(const char* name, uint32_t medium = kMedium8023);
// Frees the adapter's slot and pools. False (and nothing freed) while any of its packets
// is still taken: the engine must give them back first.
bool rte_unbind_adapter(RteAdapter* adapter);
// Highest slot in use + 1; 0 when none is bound.
size_t rte_adapter_slots_used();
RteAdapter* rte_adapter(uint16_t number);
uint16_t rte_adapter_number(const RteAdapter* adapter);
const char* rte_adapter_name(const RteAdapter* adapter);
size_t rte_adapter_count();
uint32_t rte_free_descriptors(const RteAdapter* adapter, int direction);
uint32_t rte_pool_size();
// Frames refused for want of a descriptor or for their size.
uint32_t rte_refused(const RteAdapter* adapter, int direction);

// A packet with a copy of `frame` from the adapter's pool for `direction`; null (and
// counted as refused) when the pool is empty or the frame does not fit.
RtePacket* rte_take_packet(RteAdapter* adapter, int direction, const uint8_t* frame, size_t length);

// Classifier.
void rte_set_filter_view(const RteFilterView* view);
// The addresses the station holds on an adapter's station side: IPv4 ones (host order) and
// IPv6 ones (network order). The block's address names the station, so a packet from or to
// any address the station holds beside it is the station's too.
void rte_set_station_addresses(RteAdapter* adapter, const std::vector<uint32_t>& ipv4,
                               const std::vector<std::array<uint8_t, 16>>& ipv6);
// The rules behind rte_is_my_packet for one frame, without the bypass, adapter and medium
// checks; `station` gives the adapter's station addresses (none when null). Every read is
// bounded by `length`.
bool rte_classify_frame(const uint8_t* frame, size_t length, const wire::DriverPlayBlock& block,
                        uint16_t* headerLength, const RteAdapter* station = nullptr);
bool rte_is_my_packet(RtePacket* packet, uint16_t* headerLength);

// Packet access. Offsets count from the first byte behind the link header.
size_t rte_get_data(const RtePacket* packet, uint8_t* buffer, uint32_t offset, uint32_t length);
// IPv4 total length or IPv6 payload length + 40, never more than the frame holds behind
// its link header; 0 for other frames.
uint32_t rte_get_packet_size(const RtePacket* packet);
uint32_t rte_get_eth_packet_size(const RtePacket* packet);
int rte_get_direction(const RtePacket* packet);
void rte_set_direction(RtePacket* packet, int direction);
RtePacket* rte_mkcookie(RtePacket* parent, const uint8_t* header, uint32_t headerLength,
                        uint32_t dataOffset, uint32_t dataLength, int sameDirection);
void rte_transmit(RtePacket* packet);
void rte_free_cookie(RtePacket* packet);
void rte_toggle_bits(RtePacket* packet, uint32_t bitPosition, uint32_t count);

// Fixed-size memory.
void* rte_alloc(size_t size);
void rte_free(void* memory, size_t size);
uint32_t rte_alloc_free_blocks();
uint32_t rte_alloc_total_blocks();

// Locks 0 to 12 and the six timer-queue locks. The engine runs on one thread, so they
// only check that no lock is taken twice.
void rte_lock(int index);
void rte_unlock(int index);
void rte_lock_by_dir(int kind, int queue);
void rte_unlock_by_dir(int kind, int queue);

// One-shot timers calling the installed callback with `context`.
void rte_set_timer_callback(rte::TimerCallback callback);
int rte_schedule(uint32_t ms, void* context);
bool rte_cancel_timer(int handle);

// Microseconds of the monotonic clock; milliseconds since local midnight.
uint64_t rte_gettime();
uint32_t rte_gettimeofday();
// One draw from 0 to 0x7FFF.
uint16_t rte_rand();

} // namespace quellin
