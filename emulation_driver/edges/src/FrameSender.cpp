#include "QuellinEdges/FrameSender.h"

#include "QuellinEdges/IdleSpin.h"

#include <array>
#include <pthread.h>
#include <unistd.h>

namespace quellin::edges {

FrameSender::FrameSender(SendBatch send, size_t ringBytes)
    : m_send(std::move(send)), m_ring(ringBytes), m_thread([this] { run(); }) {}

FrameSender::~FrameSender() {
    m_stop.store(true, std::memory_order_seq_cst);
    m_sleeping.store(0, std::memory_order_seq_cst);
    m_sleeping.notify_one();
    m_thread.join();
}

const uint8_t* FrameSender::push(const uint8_t* frame, size_t length) {
    return m_ring.push(frame, length);
}

void FrameSender::publish() {
    m_ring.publish();
    // Paired with the sender's store before it looks at the ring a last time: either it
    // sees what was just published or this sees it asleep.
    if (m_sleeping.exchange(0, std::memory_order_seq_cst) != 0)
        m_sleeping.notify_one();
}

void FrameSender::drain() {
    while (!idle())
        ::usleep(50);
}

size_t FrameSender::send_published() {
    std::array<iovec, kBatch> frames;
    size_t count = 0;
    const uint8_t* data;
    size_t length;
    while (count < kBatch && m_ring.peek(data, length)) {
        frames[count++] = iovec{const_cast<uint8_t*>(data), length};
        m_ring.pop();
    }
    if (count == 0)
        return 0;
    if (const size_t lost = m_send(frames.data(), count))
        m_lost.fetch_add(lost, std::memory_order_relaxed);
    // The room goes back only now: until then the kernel may still read the frames.
    m_ring.release();
    return count;
}

void FrameSender::run() {
    ::pthread_setname_np(::pthread_self(), "quellin-send");
    IdleSpin spin;
    for (;;) {
        if (send_published()) {
            spin.worked();
            continue;
        }
        if (m_stop.load(std::memory_order_seq_cst)) {
            if (!m_ring.has_published())
                return;
            continue;
        }
        if (spin.keep_spinning())
            continue;
        m_sleeping.store(1, std::memory_order_seq_cst);
        if (m_ring.has_published() || m_stop.load(std::memory_order_seq_cst)) {
            m_sleeping.store(0, std::memory_order_relaxed);
            continue;
        }
        m_sleeping.wait(1, std::memory_order_seq_cst);
        spin.worked();
    }
}

} // namespace quellin::edges
