#include "RteState.h"

#include "quellin_wire/ByteOrder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

namespace quellin {

namespace detail {
namespace {
std::unique_ptr<RteState> g_state;
} // namespace

RteState& state() {
    assert(g_state && "rte_init not called");
    return *g_state;
}
} // namespace detail

using detail::state;

bool rte_init(const RteConfig& config, const RteSeams& seams) {
    if (!seams.clock || !seams.random || !seams.timers || !seams.sink)
        return false;
    uint64_t blocks = config.allocBlocks;
    if (blocks == 0)
        blocks = uint64_t{2} * 2 * kRteMaxAdapters * config.packetPoolSize;
    if (blocks > UINT32_MAX)
        return false;
    auto s = std::make_unique<detail::RteState>();
    s->config = config;
    s->seams = seams;
    try {
        s->blocks = std::make_unique<detail::BlockPool>(static_cast<uint32_t>(blocks));
    } catch (const std::bad_alloc&) {
        return false; // a configured pool size beyond the memory there is
    }
    s->startUs = seams.clock->monotonic_us();
    s->startTodMs = seams.clock->local_ms_since_midnight() % rte::kMsPerDay;
    detail::g_state = std::move(s);
    return true;
}

void rte_shutdown() {
    detail::g_state.reset();
}

bool rte_initialised() {
    return detail::g_state != nullptr;
}

RteAdapter* rte_bind_adapter(const char* name, uint32_t medium) {
    auto& s = state();
    // The first free slot; its number is the slot + 1.
    size_t slot = 0;
    while (slot < s.adapters.size() && s.adapters[slot])
        ++slot;
    if (slot >= kRteMaxAdapters)
        return nullptr;
    auto a = std::make_unique<RteAdapter>();
    a->name = name ? name : "";
    a->number = static_cast<uint16_t>(slot + 1);
    a->medium = medium;
    try {
        for (uint8_t d = 0; d < 2; ++d)
            a->pools[d] = std::make_unique<detail::PacketPool>(a.get(), d, s.config.packetPoolSize,
                                                               s.config.frameCapacity);
    } catch (const std::bad_alloc&) {
        return nullptr; // no memory for the pools: the adapter is not bound
    }
    if (slot == s.adapters.size())
        s.adapters.push_back(std::move(a));
    else
        s.adapters[slot] = std::move(a);
    return s.adapters[slot].get();
}

RteAdapter* rte_adapter(uint16_t number) {
    auto& s = state();
    if (number == 0 || number > s.adapters.size())
        return nullptr;
    return s.adapters[number - 1].get();
}

uint16_t rte_adapter_number(const RteAdapter* adapter) {
    return adapter ? adapter->number : 0;
}

const char* rte_adapter_name(const RteAdapter* adapter) {
    return adapter ? adapter->name.c_str() : "";
}

size_t rte_adapter_count() {
    size_t n = 0;
    for (const auto& a : state().adapters)
        n += a ? 1 : 0;
    return n;
}

uint32_t rte_free_descriptors(const RteAdapter* adapter, int direction) {
    return adapter ? adapter->pools[direction & 1]->free_count() : 0;
}

uint32_t rte_pool_size() {
    return state().config.packetPoolSize;
}

uint32_t rte_refused(const RteAdapter* adapter, int direction) {
    return adapter ? adapter->refused[direction & 1] : 0;
}

namespace {

// Finds the link header of a frame: Ethernet II (14 bytes, type at 12) or 802.3 with an
// LLC/SNAP header (22 bytes, type at 20). Zero when the frame is too short for it.
void parse_link_header(RtePacket* p) {
    p->linkHeader = 0;
    p->etherType = 0;
    if (p->length < 14)
        return;
    const uint16_t typeOrLength = wire::get_be16(p->frame, 12);
    if (typeOrLength < 1501) {
        if (p->length < 22)
            return;
        p->linkHeader = 22;
        p->etherType = wire::get_be16(p->frame, 20);
    } else {
        p->linkHeader = 14;
        p->etherType = typeOrLength;
    }
}

RtePacket* take_from(RteAdapter* adapter, int direction) {
    if (!adapter)
        return nullptr;
    return adapter->pools[direction & 1]->take();
}

} // namespace

RtePacket* rte_take_packet(RteAdapter* adapter, int direction, const uint8_t* frame,
                           size_t length) {
    if (!adapter)
        return nullptr;
    if (length > state().config.frameCapacity) {
        ++adapter->refused[direction & 1];
        return nullptr;
    }
    RtePacket* p = take_from(adapter, direction);
    if (!p) {
        ++adapter->refused[direction & 1];
        return nullptr;
    }
    if (length > 0)
        std::memcpy(p->frame, frame, length);
    p->length = static_cast<uint32_t>(length);
    p->direction = static_cast<uint8_t>(direction & 1);
    parse_link_header(p);
    return p;
}

size_t rte_get_data(const RtePacket* packet, uint8_t* buffer, uint32_t offset, uint32_t length) {
    if (!packet || packet->linkHeader == 0)
        return 0;
    const uint64_t start = uint64_t{packet->linkHeader} + offset;
    if (start >= packet->length)
        return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length, packet->length - start));
    std::memcpy(buffer, packet->frame + start, n);
    return n;
}

uint32_t rte_get_packet_size(const RtePacket* packet) {
    if (!packet || packet->linkHeader == 0)
        return 0;
    const uint32_t h = packet->linkHeader;
    const uint32_t present = packet->length - h;
    uint32_t claimed = 0;
    if (packet->etherType == 0x0800 && present >= 4)
        claimed = wire::get_be16(packet->frame, h + 2);
    else if (packet->etherType == 0x86DD && present >= 6)
        claimed = uint32_t{wire::get_be16(packet->frame, h + 4)} + 40;
    return std::min(claimed, present);
}

uint32_t rte_get_eth_packet_size(const RtePacket* packet) {
    return packet ? packet->length : 0;
}

int rte_get_direction(const RtePacket* packet) {
    return packet->direction;
}

void rte_set_direction(RtePacket* packet, int direction) {
    packet->direction = static_cast<uint8_t>(direction & 1);
}

RtePacket* rte_mkcookie(RtePacket* parent, const uint8_t* header, uint32_t headerLength,
                        uint32_t dataOffset, uint32_t dataLength, int sameDirection) {
    if (!parent || parent->linkHeader == 0)
        return nullptr;
    const int direction = sameDirection ? parent->direction : 1 - parent->direction;
    const uint32_t h = parent->linkHeader;
    const uint64_t ipBytes = parent->length - h;
    const uint64_t copy =
        dataOffset >= ipBytes ? 0 : std::min<uint64_t>(dataLength, ipBytes - dataOffset);
    const uint64_t total = uint64_t{h} + headerLength + copy;
    if (total > state().config.frameCapacity)
        return nullptr;
    RtePacket* p = take_from(parent->adapter, direction);
    if (!p)
        return nullptr;
    std::memcpy(p->frame, parent->frame, h);
    if (!sameDirection) {
        uint8_t mac[6];
        std::memcpy(mac, p->frame, 6);
        std::memcpy(p->frame, p->frame + 6, 6);
        std::memcpy(p->frame + 6, mac, 6);
    }
    if (headerLength > 0)
        std::memcpy(p->frame + h, header, headerLength);
    if (copy > 0)
        std::memcpy(p->frame + h + headerLength, parent->frame + h + dataOffset, copy);
    p->length = static_cast<uint32_t>(total);
    p->direction = static_cast<uint8_t>(direction);
    p->linkHeader = parent->linkHeader;
    p->etherType = parent->etherType;
    return p;
}

void rte_free_cookie(RtePacket* packet) {
    if (!packet)
        return;
    assert(packet->inUse && "packet freed twice");
    packet->adapter->pools[packet->pool]->give(packet);
}

void rte_transmit(RtePacket* packet) {
    if (!packet)
        return;
    packet->flags |= kRtePacketTransmitted;
    state().seams.sink->transmit(packet->adapter->number, packet->direction, packet->frame,
                                 packet->length);
    rte_free_cookie(packet);
}

void rte_toggle_bits(RtePacket* packet, uint32_t bitPosition, uint32_t count) {
    if (!packet)
        return;
    const uint64_t end =
        std::min<uint64_t>(uint64_t{bitPosition} + count, uint64_t{packet->length} * 8);
    for (uint64_t bit = bitPosition; bit < end; ++bit)
        packet->frame[bit / 8] ^= static_cast<uint8_t>(0x80u >> (bit % 8));
}

void* rte_alloc(size_t size) {
    if (size == 0 || size > kRteBlockSize)
        return nullptr;
    return state().blocks->take();
}

void rte_free(void* memory, size_t /*size*/) {
    if (memory)
        state().blocks->give(memory);
}

uint32_t rte_alloc_free_blocks() {
    return state().blocks->free_count();
}

uint32_t rte_alloc_total_blocks() {
    return state().blocks->total();
}

} // namespace quellin
