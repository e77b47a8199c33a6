// Growable, zero-terminated byte buffer.
#pragma once

class SHLargeBuffer {
public:
    static constexpr unsigned kInitialCapacity = 10000;

    SHLargeBuffer();
    // Copies hold their own data.
    SHLargeBuffer(const SHLargeBuffer& other);
    SHLargeBuffer& operator=(const SHLargeBuffer& other);
    ~SHLargeBuffer();

    // Appends n bytes and a terminating zero, doubling the capacity as needed.
    // False (content unchanged) when the memory cannot be had.
    bool Add(const void* data, unsigned n);
    // The data and, when asked, its length. With detach the caller takes the data
    // (to release with free) and the buffer starts afresh.
    char* getBuffer(bool detach, unsigned* length);

    unsigned getCapacity() const { return m_capacity; }
    unsigned getLength() const { return m_length; }

private:
    bool reset();

    char* m_data = nullptr;
    unsigned m_capacity = 0;
    unsigned m_length = 0;
};
