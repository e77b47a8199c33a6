#include "QuellinEdges/FrameSender.h"

#include "QuellinEdges/IdleSpin.h"

#include <array>
#include <ctime>
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
    const uint8_t* copy = m_ring.push(frame, length);
    m_pushed += copy ? 1 : 0;
    return copy;
}

size_t FrameSender::publish() {
    m_ring.publish();
    // Paired with the thread's going to sleep: either it sees what was just published or
    // this sees it asleep.
    m_published.store(m_pushed, std::memory_order_seq_cst);
    if (m_sleeping.load(std::memory_order_seq_cst) == 0)
        return 0;
    size_t sent = 0;
    while (const size_t n = send_batch())
        sent += n;
    // A longer batch may be the start of a flow: the thread takes the next ones.
    if (sent > kWakeAbove && m_sleeping.exchange(0, std::memory_order_seq_cst) != 0)
        m_sleeping.notify_one();
    return sent;
}

size_t FrameSender::take_over() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return take_over(static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u +
                     static_cast<uint64_t>(ts.tv_nsec));
}

size_t FrameSender::take_over(uint64_t now) {
    if (now - m_checkedAt < kTakeOverNs)
        return 0;
    const uint64_t before = m_checked;
    m_checked = m_published.load(std::memory_order_relaxed);
    m_checkedAt = now;
    if (m_started.load(std::memory_order_acquire) >= before)
        return 0;
    return send_batch();
}

void FrameSender::drain() {
    while (!idle())
        ::usleep(50);
}

size_t FrameSender::send_batch() {
    bool free = false;
    if (!m_sending.compare_exchange_strong(free, true, std::memory_order_acquire))
        return 0;
    const size_t n = send_published();
    m_sending.store(false, std::memory_order_release);
    return n;
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
    m_started.fetch_add(count, std::memory_order_release);
    if (const size_t lost = m_send(frames.data(), count))
        m_lost.fetch_add(lost, std::memory_order_relaxed);
    m_sent.fetch_add(count, std::memory_order_release);
    // The room goes back only now: until then the kernel may still read the frames.
    m_ring.release();
    return count;
}

void FrameSender::run() {
    ::pthread_setname_np(::pthread_self(), "quellin-send");
    IdleSpin spin;
    const auto waiting = [this] {
        return m_published.load(std::memory_order_seq_cst) !=
               m_started.load(std::memory_order_seq_cst);
    };
    for (;;) {
        // Idle, it only reads: a claim of m_sending on every round would take the line that
        // the queuing thread reads for every batch (the backlog) from its processor.
        if (waiting() && send_batch()) {
            spin.worked();
            continue;
        }
        if (m_stop.load(std::memory_order_seq_cst)) {
            if (waiting())
                continue;
            return;
        }
        if (spin.keep_spinning() || waiting())
            continue;
        // Idle for a while: the queuing thread sends until it wakes this one again.
        spin.sleeping();
        m_sleeping.store(1, std::memory_order_seq_cst);
        if (!waiting() && !m_stop.load(std::memory_order_seq_cst))
            m_sleeping.wait(1, std::memory_order_seq_cst);
        m_sleeping.store(0, std::memory_order_relaxed);
        spin.woke();
    }
}

} // namespace quellin::edges
