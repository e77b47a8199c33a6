#include "Fendrel/NxTypes.h"

#include <cstdlib>
#include <cstring>
#include <string>

SHString::SHString(const char* text) {
    if (text) {
        size_t n = std::strlen(text) + 1;
        m_pBuffer = static_cast<char*>(std::malloc(n));
        if (m_pBuffer)
            std::memcpy(m_pBuffer, text, n);
    }
}

SHString::SHString(const SHString& other) : SHString(other.m_pBuffer) {}

SHString& SHString::operator=(const SHString& other) {
    if (this != &other)
        Assign(other.m_pBuffer);
    return *this;
}

SHString::~SHString() {
    std::free(m_pBuffer);
}

void SHString::Allocate(size_t size) {
    std::free(m_pBuffer);
    m_pBuffer = size ? static_cast<char*>(std::calloc(size, 1)) : nullptr;
}

char* SHString::GetBuffer() {
    return m_pBuffer;
}

char* SHString::GetString() {
    return m_pBuffer;
}

char* SHString::Detach() {
    char* buffer = m_pBuffer;
    m_pBuffer = nullptr;
    return buffer;
}

void SHString::Attach(char* buffer) {
    if (buffer != m_pBuffer)
        std::free(m_pBuffer);
    m_pBuffer = buffer;
}

void SHString::Assign(const char* text) {
    if (!text) {
        Allocate(0);
        return;
    }
    size_t n = std::strlen(text) + 1;
    // Text inside the current buffer would be freed by Allocate: copy it first.
    std::string own;
    if (m_pBuffer && text >= m_pBuffer && text < m_pBuffer + std::strlen(m_pBuffer) + 1) {
        own.assign(text, n - 1);
        text = own.c_str();
    }
    Allocate(n);
    char* buffer = GetBuffer();
    if (buffer)
        std::memcpy(buffer, text, n);
}
