#include "RteState.h"

namespace quellin::detail {

PacketPool::PacketPool(RteAdapter* adapter, uint8_t pool, uint32_t count, uint32_t capacity)
    : m_packets(count), m_storage(new uint8_t[size_t{count} * capacity]) {
    for (uint32_t i = 0; i < count; ++i) {
        RtePacket& p = m_packets[i];
        p.adapter = adapter;
        p.frame = m_storage.get() + size_t{i} * capacity;
        p.capacity = capacity;
        p.pool = pool;
        p.nextFree = m_head;
        m_head = &p;
    }
    m_free = count;
}

RtePacket* PacketPool::take() {
    RtePacket* p = m_head;
    if (p == nullptr)
        return nullptr;
    m_head = p->nextFree;
    p->nextFree = nullptr;
    p->inUse = true;
    p->flags = 0;
    p->length = 0;
    p->linkHeader = 0;
    p->etherType = 0;
    p->direction = p->pool;
    --m_free;
    return p;
}

void PacketPool::give(RtePacket* packet) {
    packet->inUse = false;
    packet->nextFree = m_head;
    m_head = packet;
    ++m_free;
}

BlockPool::BlockPool(uint32_t count)
    : m_storage(new std::byte[size_t{count} * kRteBlockSize]), m_free(count), m_total(count) {}

void* BlockPool::take() {
    Block* b = m_head;
    if (b != nullptr) {
        m_head = b->next;
    } else if (m_fresh < m_total) {
        b = reinterpret_cast<Block*>(m_storage.get() + size_t{m_fresh++} * kRteBlockSize);
    } else {
        return nullptr;
    }
    --m_free;
    return b;
}

void BlockPool::give(void* block) {
    auto* b = static_cast<Block*>(block);
    b->next = m_head;
    m_head = b;
    ++m_free;
}

} // namespace quellin::detail
