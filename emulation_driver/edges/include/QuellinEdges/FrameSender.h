// A thread that sends the frames one other thread queues, in the order queued, in batches:
// the system calls of a port's sends leave the queuing thread. The queuing thread pushes
// frames and publishes them at the end of its batch; the sender's thread takes them a batch
// at a time, and once nothing came for a while it sleeps. Whoever runs sends, one batch at a
// time and in order: while the thread sleeps, the queuing thread sends what it publishes
// itself (waking the thread only for a longer batch), and a batch published more than
// kTakeOverNs before that the thread has still not started (it waits for a processor) is
// sent by the queuing thread's next flush. No frame waits for a thread to be scheduled: on a busy
// or virtual machine that can take longer than many batches' sends.
#pragma once

#include "QuellinEdges/FrameRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/uio.h>
#include <thread>

namespace quellin::edges {

class FrameSender {
public:
    // Hands `count` frames to the kernel; gives the number of them not taken. Runs on the
    // sender's thread, or on the queuing thread (never on both at once).
    using SendBatch = std::function<size_t(const iovec* frames, size_t count)>;
    static constexpr size_t kBatch = 64;
    // A batch the queuing thread sent itself wakes the sender's thread when it was longer.
    static constexpr size_t kWakeAbove = 4;
    // A running thread starts a published batch within a microsecond: one it has not
    // started after this long is taken over.
    static constexpr uint64_t kTakeOverNs = 50'000;

    // Throws std::system_error when the thread cannot be started.
    FrameSender(SendBatch send, size_t ringBytes);
    // Sends what was queued, then ends the thread.
    ~FrameSender();
    FrameSender(const FrameSender&) = delete;
    FrameSender& operator=(const FrameSender&) = delete;

    // Queuing thread only.
    // The frame's copy, not yet the sender's; null when the ring has no room for it.
    const uint8_t* push(const uint8_t* frame, size_t length);
    // Hands what was pushed on: to the sender's thread while it is awake, else sends it
    // here, before returning. Gives the number of frames sent here.
    size_t publish();
    // Sends here one batch of what was published at least kTakeOverNs ago (before the
    // last call that many nanoseconds or more back) and is still not started: the thread
    // is awake but not running. Gives the number of frames sent here.
    size_t take_over();
    // The same at `nowNs` of CLOCK_MONOTONIC, read by the caller.
    size_t take_over(uint64_t nowNs);
    // Frames published whose sending has not started: how far the sender is behind.
    uint64_t backlog() const {
        return m_published.load(std::memory_order_relaxed) -
               m_started.load(std::memory_order_acquire);
    }
    // Whether the thread is awake and has started on everything published: it looks for
    // work. Queuing thread only.
    bool wants_work() const {
        return m_published.load(std::memory_order_relaxed) ==
                   m_started.load(std::memory_order_acquire) &&
               m_sleeping.load(std::memory_order_relaxed) == 0;
    }
    // Frames pushed so far.
    uint64_t pushed() const { return m_pushed; }
    // Frames whose sending has ended, taken by the kernel or not. Any thread.
    uint64_t sent() const { return m_sent.load(std::memory_order_acquire); }
    // Whether every frame pushed has been sent; waits for it.
    bool idle() const { return m_ring.producer_sees_empty(); }
    void drain();

    // Whether the sender's thread sleeps, for tests.
    bool sleeps() const { return m_sleeping.load(std::memory_order_seq_cst) != 0; }

    // Frames the kernel did not take, since the last call. Any thread.
    // Read first: a flush asks after every wake-up, and mostly nothing was lost.
    size_t take_lost() {
        return m_lost.load(std::memory_order_relaxed)
                   ? m_lost.exchange(0, std::memory_order_relaxed)
                   : 0;
    }

private:
    void run();
    // One batch of what was published, unless the other thread is sending one.
    size_t send_batch();
    // Whoever holds m_sending only.
    size_t send_published();

    SendBatch m_send;
    FrameRing m_ring;
    // Each group on a cache line of its own: a line one thread writes and the other reads
    // moves between their processors on every write.
    // The queuing thread's own.
    alignas(64) uint64_t m_pushed = 0;
    uint64_t m_checked = 0;   // m_published when take_over() last looked
    uint64_t m_checkedAt = 0; // and when, in ns of CLOCK_MONOTONIC
    // Written by the queuing thread: frames published.
    alignas(64) std::atomic<uint64_t> m_published{0};
    // Written by whichever thread takes a batch from the ring and sends it, which holds
    // m_sending.
    alignas(64) std::atomic<bool> m_sending{false};
    std::atomic<uint64_t> m_started{0}; // frames taken from the ring to be sent
    std::atomic<uint64_t> m_sent{0};    // frames whose send call returned
    std::atomic<uint64_t> m_lost{0};
    alignas(64) std::atomic<uint32_t> m_sleeping{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: it starts once the rest is in place
};

} // namespace quellin::edges
