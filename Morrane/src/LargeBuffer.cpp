#include "Morrane/LargeBuffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

SHLargeBuffer::SHLargeBuffer() {
    reset();
}

SHLargeBuffer::SHLargeBuffer(const SHLargeBuffer& other) {
    if (!other.m_data) {
        reset();
        return;
    }
    m_data = static_cast<char*>(std::malloc(other.m_capacity));
    if (m_data) {
        std::memcpy(m_data, other.m_data, other.m_length + 1);
        m_capacity = other.m_capacity;
        m_length = other.m_length;
    }
}

SHLargeBuffer& SHLargeBuffer::operator=(const SHLargeBuffer& other) {
    if (this != &other && other.m_data) {
        char* copy = static_cast<char*>(std::malloc(other.m_capacity));
        if (copy) {
            std::memcpy(copy, other.m_data, other.m_length + 1);
            std::free(m_data);
            m_data = copy;
            m_capacity = other.m_capacity;
            m_length = other.m_length;
        }
    }
    return *this;
}

SHLargeBuffer::~SHLargeBuffer() {
    std::free(m_data);
}

bool SHLargeBuffer::reset() {
    m_data = static_cast<char*>(std::malloc(kInitialCapacity));
    m_length = 0;
    m_capacity = m_data ? kInitialCapacity : 0;
    if (m_data)
        m_data[0] = '\0';
    return m_data != nullptr;
}

bool SHLargeBuffer::Add(const void* data, unsigned n) {
    if (!data && n)
        return false;
    if (!m_data && !reset())
        return false;
    if (n > std::numeric_limits<unsigned>::max() - m_length - 1)
        return false;
    unsigned capacity = m_capacity;
    while (m_length + n >= capacity) {
        if (capacity > std::numeric_limits<unsigned>::max() / 2)
            return false;
        capacity *= 2;
    }
    if (capacity != m_capacity) {
        char* grown = static_cast<char*>(std::realloc(m_data, capacity));
        if (!grown)
            return false; // the old content stays, with its old capacity
        m_data = grown;
        m_capacity = capacity;
    }
    if (n)
        std::memcpy(m_data + m_length, data, n);
    m_length += n;
    m_data[m_length] = '\0';
    return true;
}

char* SHLargeBuffer::getBuffer(bool detach, unsigned* length) {
    char* data = m_data;
    if (length)
        *length = m_length;
    if (detach)
        reset();
    return data;
}
