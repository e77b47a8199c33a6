#include "QuellinEdges/FrameRing.h"

#include <cstring>

namespace quellin::edges {

namespace {
size_t power_of_two_at_least(size_t n) {
    size_t size = 4096;
    while (size < n)
        size <<= 1;
    return size;
}
} // namespace

FrameRing::FrameRing(size_t capacity)
    : m_size(power_of_two_at_least(capacity)), m_bytes(new uint8_t[m_size]) {}

uint8_t* FrameRing::reserve(size_t length) {
    if (length > max_record())
        return nullptr;
    const size_t need = kHeader + aligned(length);
    const size_t toEnd = m_size - (m_write & (m_size - 1));
    // A record that does not fit before the end starts at the beginning.
    const size_t skip = toEnd < need ? toEnd : 0;
    const uint64_t end = m_write + skip + need;
    if (end - m_limit > m_size) {
        m_limit = m_released.load(std::memory_order_acquire);
        if (end - m_limit > m_size)
            return nullptr;
    }
    if (skip) {
        const uint32_t wrap = kWrap;
        std::memcpy(at(m_write), &wrap, sizeof wrap);
    }
    m_reserved = m_write + skip;
    m_reservedLength = length;
    return at(m_reserved) + kHeader;
}

void FrameRing::commit(size_t length) {
    if (length > m_reservedLength)
        length = m_reservedLength;
    const uint32_t word = static_cast<uint32_t>(length);
    std::memcpy(at(m_reserved), &word, sizeof word);
    m_write = m_reserved + kHeader + aligned(length);
}

const uint8_t* FrameRing::push(const uint8_t* data, size_t length) {
    uint8_t* room = reserve(length);
    if (!room)
        return nullptr;
    if (length)
        std::memcpy(room, data, length);
    commit(length);
    return room;
}

void FrameRing::publish() {
    // Sequentially consistent, as is has_published(), for a consumer that sleeps when it
    // finds nothing and a producer that looks whether it sleeps after publishing.
    m_published.store(m_write, std::memory_order_seq_cst);
}

bool FrameRing::consumer_reached(uint64_t position) const {
    return m_released.load(std::memory_order_acquire) >= position;
}

bool FrameRing::peek(const uint8_t*& data, size_t& length) {
    for (;;) {
        if (m_read == m_visible) {
            m_visible = m_published.load(std::memory_order_acquire);
            if (m_read == m_visible)
                return false;
        }
        uint32_t word;
        std::memcpy(&word, at(m_read), sizeof word);
        if (word == kWrap) {
            m_read += m_size - (m_read & (m_size - 1));
            continue;
        }
        data = at(m_read) + kHeader;
        length = word;
        return true;
    }
}

void FrameRing::pop() {
    uint32_t word;
    std::memcpy(&word, at(m_read), sizeof word);
    m_read += kHeader + aligned(word);
}

void FrameRing::release() {
    m_released.store(m_read, std::memory_order_release);
}

bool FrameRing::has_published() {
    if (m_read != m_visible)
        return true;
    m_visible = m_published.load(std::memory_order_seq_cst);
    return m_read != m_visible;
}

} // namespace quellin::edges
