// A thread that sends the frames one other thread queues, in the order queued, in batches:
// the system calls of a port's sends leave the engine's thread. The queuing thread pushes
// frames and publishes them at the end of its batch; the sender wakes, sends what was
// published and, once nothing is left, keeps looking for a short while before it sleeps,
// so that a steady flow does not pay for a wake-up a batch.
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
    // sender's thread.
    using SendBatch = std::function<size_t(const iovec* frames, size_t count)>;
    static constexpr size_t kBatch = 64;

    // Throws std::system_error when the thread cannot be started.
    FrameSender(SendBatch send, size_t ringBytes);
    // Sends what was queued, then ends the thread.
    ~FrameSender();
    FrameSender(const FrameSender&) = delete;
    FrameSender& operator=(const FrameSender&) = delete;

    // Queuing thread only.
    // The frame's copy, not yet the sender's; null when the ring has no room for it.
    const uint8_t* push(const uint8_t* frame, size_t length);
    // Hands what was pushed to the sender.
    void publish();
    // Where the next frame pushed goes; whether every frame pushed before `position` has
    // been sent (or found not taken); takes back the frames pushed since `position`, none
    // of them published, for the caller to send itself.
    uint64_t position() const { return m_ring.write_position(); }
    bool sent_up_to(uint64_t position) const { return m_ring.consumer_reached(position); }
    void take_back(uint64_t position) { m_ring.rollback(position); }
    // Whether every frame pushed has been sent; waits for it.
    bool idle() const { return m_ring.producer_sees_empty(); }
    void drain();

    // Frames the kernel did not take, since the last call. Any thread.
    // Read first: a flush asks after every wake-up, and mostly nothing was lost.
    size_t take_lost() {
        return m_lost.load(std::memory_order_relaxed)
                   ? m_lost.exchange(0, std::memory_order_relaxed)
                   : 0;
    }

private:
    void run();
    size_t send_published();

    SendBatch m_send;
    FrameRing m_ring;
    std::atomic<uint64_t> m_lost{0};
    std::atomic<uint32_t> m_sleeping{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: it starts once the rest is in place
};

} // namespace quellin::edges
