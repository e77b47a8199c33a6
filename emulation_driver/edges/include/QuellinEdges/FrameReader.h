// Reads of a port shared between the thread that takes its frames (the engine's) and a
// thread of the reader's own. While frames come slower than the taker handles them, the
// taker reads the port itself, as without a reader: a frame costs one wake-up. When they
// come faster (kHandOverReads frames read without the port running dry), the reading goes
// to the reader's thread, which reads into a ring that the taker takes from; once the port
// has stayed dry for a while, the thread hands the reading back. Only one of the two reads
// at any time, and the taker takes what the thread read before it reads again, so that the
// frames keep their order.
//
// The thread reads at most kBatch frames ahead of the taker: what comes faster waits in the
// port's own queue rather than in the ring, so that the daemon holds no backlog of its own.
//
// The taker watches watch_fd(): readable while the port is, as long as the taker reads it,
// and while frames it has not been told of wait in the ring, as long as the thread does.
#pragma once

#include "QuellinEdges/FrameRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/types.h>
#include <thread>

namespace quellin::edges {

class FrameReader {
public:
    // Reads one frame into `room` (at most `capacity` bytes): its length, or -1 with errno
    // (EAGAIN when nothing waits). Runs on the reader's thread.
    using ReadOne = std::function<ssize_t(uint8_t* room, size_t capacity)>;
    static constexpr size_t kBatch = 64;
    static constexpr size_t kHandOverReads = 64;

    // `fd` is the port's descriptor; `frameLimit` the room each read gets. Throws
    // std::system_error when the thread or its descriptors cannot be made.
    FrameReader(int fd, ReadOne read, size_t frameLimit, size_t ringBytes);
    // Ends the thread; frames not taken are dropped.
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    int watch_fd() const { return m_epoll; }

    // Taker only.
    // Whether the taker reads the port itself; while not, it takes what the thread read.
    bool taker_reads() const { return m_takerReads; }
    // After a read of its own: whether it gave a frame. Hands the reading over to the thread
    // after kHandOverReads frames in a row.
    void taker_read(bool frame);
    // The next frame the thread read, valid until the next call, or false when none waits:
    // `error` is then the errno that ended the thread's reading, or 0; when the thread has
    // handed the reading back, taker_reads() is true again.
    bool take(const uint8_t*& frame, size_t& length, int& error);

    // Hands of the reading each way, for tests.
    uint64_t hand_overs() const { return m_handOvers; }

private:
    void run();
    size_t read_batch(bool& dry, bool& full, int& error);
    void tell_taker();
    void wait_for_reading();

    int m_fd;
    ReadOne m_read;
    size_t m_frameLimit;
    FrameRing m_ring;
    int m_epoll = -1;  // the taker's watch: the port (while it reads) and m_notify
    int m_notify = -1; // readable while frames wait that the taker was not told of
    int m_wake = -1;   // the thread's: readable when it is to read or to stop
    // Each group on a cache line of its own (a line one thread writes and the other reads
    // moves between their processors on every write).
    // The taker's own.
    alignas(64) bool m_takerReads = true;
    bool m_holding = false; // it holds a record it has not popped
    size_t m_readsInARow = 0;
    uint64_t m_handOvers = 0;
    // The thread's own: frames it read.
    alignas(64) uint64_t m_readFrames = 0;
    // Written by the taker, a frame at a time: frames it took from the ring.
    alignas(64) std::atomic<uint64_t> m_taken{0};
    // Shared, written seldom.
    alignas(64) std::atomic<bool> m_threadReads{false};
    std::atomic<bool> m_handedBack{false};
    std::atomic<int> m_error{0};
    std::atomic<uint32_t> m_takerWaiting{1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: it starts once the rest is in place
};

} // namespace quellin::edges
