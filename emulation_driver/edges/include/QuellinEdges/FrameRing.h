// A ring of frames between two threads: one producer writes records, one consumer reads
// them in the order written. A record is a length word and that many bytes, laid out whole
// (never split by the ring's end) on 8-byte boundaries. Records the producer wrote become
// visible to the consumer only with publish(); the room of records the consumer read goes
// back to the producer only with release(), so that both sides touch the shared positions
// once a batch, not once a frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quellin::edges {

class FrameRing {
public:
    // `capacity` is rounded up to a power of two of at least 4 KiB.
    explicit FrameRing(size_t capacity);
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    size_t capacity() const { return m_size; }
    // The longest record that fits in an empty ring.
    size_t max_record() const { return m_size / 2 - kHeader; }

    // Producer side.
    // Room for a record of up to `length` bytes at the next position, or null when the ring
    // has not that much free (or `length` is beyond max_record()).
    uint8_t* reserve(size_t length);
    // The record reserved last holds `length` bytes (no more than were reserved).
    void commit(size_t length);
    // Reserve, copy and commit in one: the record's copy, or null when there is no room.
    const uint8_t* push(const uint8_t* data, size_t length);
    // Makes the records committed so far visible to the consumer.
    void publish();
    // Whether the consumer has released every record committed so far.
    bool producer_sees_empty() const { return consumer_reached(m_write); }
    // Where the next record will be committed; whether the consumer has released every
    // record before `position`.
    uint64_t write_position() const { return m_write; }
    bool consumer_reached(uint64_t position) const;
    // Takes back the records committed since `position`, which must not be published.
    void rollback(uint64_t position) { m_write = position; }

    // Consumer side.
    // The next published record, or false when there is none.
    bool peek(const uint8_t*& data, size_t& length);
    // Steps past the record peek() gave.
    void pop();
    // Gives the room of the records popped so far back to the producer.
    void release();
    // Whether a published record waits.
    bool has_published();

private:
    static constexpr size_t kHeader = 8;
    static constexpr uint32_t kWrap = 0xFFFFFFFF;
    static size_t aligned(size_t n) { return (n + 7) & ~size_t{7}; }
    uint8_t* at(uint64_t position) const { return m_bytes.get() + (position & (m_size - 1)); }

    size_t m_size;
    std::unique_ptr<uint8_t[]> m_bytes;

    // The producer's own.
    alignas(64) uint64_t m_write = 0; // end of the committed records
    uint64_t m_reserved = 0;          // where the reserved record starts (its header)
    size_t m_reservedLength = 0;
    uint64_t m_limit = 0; // the consumer's position as the producer last read it
    // Written by the producer, read by the consumer.
    alignas(64) std::atomic<uint64_t> m_published{0};
    // The consumer's own.
    alignas(64) uint64_t m_read = 0;
    uint64_t m_visible = 0; // m_published as the consumer last read it
    // Written by the consumer, read by the producer.
    alignas(64) std::atomic<uint64_t> m_released{0};
};

} // namespace quellin::edges
