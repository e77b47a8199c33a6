// The sender thread of a port: every frame in order and in batches, frames not taken
// counted, nothing left behind at the end, no wake-up missed however the two threads meet,
// no frame waiting for the thread while it does not run, and each flow in order when several
// threads share the flows.
#include "QuellinEdges/FlowLanes.h"
#include "QuellinEdges/FrameSender.h"
#include "QuellinEdges/IdleSpin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <sched.h>
#include <thread>
#include <vector>

using namespace quellin::edges;

namespace {

struct Sink {
    std::mutex mutex;
    std::vector<uint32_t> numbers;
    std::vector<size_t> batches;
    std::vector<std::thread::id> senders; // the thread of each batch
    size_t refuseEvery = 0;               // every n-th frame is not taken

    size_t send(const iovec* frames, size_t count) {
        std::lock_guard<std::mutex> lock(mutex);
        batches.push_back(count);
        senders.push_back(std::this_thread::get_id());
        size_t lost = 0;
        for (size_t i = 0; i < count; ++i) {
            uint32_t n;
            std::memcpy(&n, frames[i].iov_base, 4);
            if (refuseEvery && n % refuseEvery == 0) {
                ++lost;
                continue;
            }
            numbers.push_back(n);
        }
        return lost;
    }
    size_t received() {
        std::lock_guard<std::mutex> lock(mutex);
        return numbers.size();
    }
};

std::vector<uint8_t> frame(uint32_t number) {
    std::vector<uint8_t> f(60 + number % 200, 0xA5);
    std::memcpy(f.data(), &number, 4);
    return f;
}

FrameSender::SendBatch to(Sink& sink) {
    return [&sink](const iovec* frames, size_t count) { return sink.send(frames, count); };
}

} // namespace

TEST(FrameSender, EveryFrameLeavesInOrderInBatchesAndThoseNotTakenAreCounted) {
    Sink sink;
    sink.refuseEvery = 100;
    FrameSender sender(to(sink), 1 << 20);
    std::mt19937 random(7);
    uint32_t pushed = 0;
    while (pushed < 20000) {
        const uint32_t batch = 1 + random() % 150;
        for (uint32_t i = 0; i < batch; ++i, ++pushed) {
            const auto f = frame(pushed);
            while (!sender.push(f.data(), f.size())) {
                sender.publish(); // the sender is behind: wait for room
                std::this_thread::yield();
            }
        }
        sender.publish();
    }
    sender.drain();
    EXPECT_TRUE(sender.idle());
    std::lock_guard<std::mutex> lock(sink.mutex);
    const uint32_t refused = (pushed + 99) / 100; // 0, 100, 200, ...
    ASSERT_EQ(sink.numbers.size(), pushed - refused);
    uint32_t expected = 1;
    for (uint32_t n : sink.numbers) {
        if (expected % 100 == 0)
            ++expected;
        ASSERT_EQ(n, expected);
        ++expected;
    }
    for (size_t b : sink.batches)
        EXPECT_LE(b, FrameSender::kBatch);
    EXPECT_EQ(sender.take_lost(), refused);
    EXPECT_EQ(sender.take_lost(), 0u);
}

TEST(FrameSender, TheEndSendsWhatIsStillQueued) {
    Sink sink;
    {
        FrameSender sender(to(sink), 1 << 20);
        for (uint32_t n = 10; n < 1010; ++n) {
            const auto f = frame(n);
            ASSERT_NE(sender.push(f.data(), f.size()), nullptr);
        }
        sender.publish();
    } // ends while most are still queued
    ASSERT_EQ(sink.numbers.size(), 1000u);
    EXPECT_EQ(sink.numbers.front(), 10u);
    EXPECT_EQ(sink.numbers.back(), 1009u);
}

TEST(FrameSender, AThreadStuckInASendHoldsUpNeitherThePublisherNorItsCount) {
    Sink sink;
    std::mutex gate;
    const auto self = std::this_thread::get_id();
    // The sender's thread cannot send until the gate opens; this thread can.
    FrameSender sender(
        [&](const iovec* frames, size_t count) {
            if (std::this_thread::get_id() != self) {
                std::lock_guard<std::mutex> wait(gate);
                return sink.send(frames, count);
            }
            return sink.send(frames, count);
        },
        4096);
    std::unique_lock<std::mutex> held(gate); // opens before the sender ends
    // Batches longer than kWakeAbove until the thread is awake and takes one, to be caught
    // in its send.
    uint32_t n = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t sent = 0;
    do {
        for (size_t i = 0; i <= FrameSender::kWakeAbove; ++i, ++n) {
            const auto f = frame(n);
            ASSERT_NE(sender.push(f.data(), f.size()), nullptr);
        }
        sent = sender.publish();
    } while (sent != 0 && std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(sent, 0u) << "the thread never ran";
    while (sender.backlog() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(sender.backlog(), 0u);
    // Publishing goes on without waiting for it, until its ring is full; what is published
    // waits, not started, and no flush takes it over from a thread caught in a send.
    size_t taken = 0;
    for (uint32_t i = 0; i < 200; ++i) {
        const auto f = frame(n + i);
        taken += sender.push(f.data(), f.size()) ? 1 : 0;
        EXPECT_EQ(sender.publish(), 0u);
        EXPECT_EQ(sender.take_over(), 0u);
    }
    EXPECT_LT(taken, 200u);
    EXPECT_EQ(sender.backlog(), taken);
    held.unlock();
    sender.drain();
    EXPECT_EQ(sender.backlog(), 0u);
    EXPECT_EQ(sink.received(), n + taken);
}

TEST(FrameSender, WhileTheThreadSleepsThePublisherSendsItselfAndWakesItForALongerBatch) {
    Sink sink;
    FrameSender sender(to(sink), 1 << 20);
    const auto self = std::this_thread::get_id();
    const auto until = [](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        return done();
    };
    ASSERT_TRUE(until([&] { return sender.sleeps(); }));
    uint32_t n = 0;
    const auto batch = [&](size_t count) {
        for (size_t i = 0; i < count; ++i, ++n) {
            const auto f = frame(n);
            EXPECT_NE(sender.push(f.data(), f.size()), nullptr);
        }
        return sender.publish();
    };
    // A short batch goes from here, before publish() returns, and leaves the thread asleep.
    EXPECT_EQ(batch(FrameSender::kWakeAbove), FrameSender::kWakeAbove);
    EXPECT_EQ(sink.received(), FrameSender::kWakeAbove);
    EXPECT_TRUE(sender.sleeps());
    // A longer one too, and it wakes the thread, which takes the batches once it runs.
    EXPECT_EQ(batch(FrameSender::kWakeAbove + 1), FrameSender::kWakeAbove + 1);
    EXPECT_EQ(sink.received(), n);
    // Some longer batch finds it running (each wakes it should it sleep again meanwhile).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (batch(FrameSender::kWakeAbove + 1) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(until([&] { return sink.received() == n; }));
    std::lock_guard<std::mutex> lock(sink.mutex);
    EXPECT_EQ(sink.senders.front(), self);
    EXPECT_NE(sink.senders.back(), self);
    for (uint32_t i = 0; i < n; ++i)
        ASSERT_EQ(sink.numbers[i], i);
}

TEST(FrameSender, NoFrameWaitsForAWakeUpThatNeverComes) {
    // Publishes at every distance from the sender's spinning, sleeping and waking.
    Sink sink;
    FrameSender sender(to(sink), 1 << 20);
    std::mt19937 random(11);
    for (uint32_t n = 0; n < 300; ++n) {
        const auto f = frame(n);
        ASSERT_NE(sender.push(f.data(), f.size()), nullptr);
        sender.publish();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sink.received() < n + 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_EQ(sink.received(), n + 1) << "frame " << n << " was never sent";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 250));
    }
}

TEST(IdleSpin, AThreadWokenSoonAfterItSleptLooksLongerAndAfterALongSleepAsBefore) {
    constexpr uint64_t us = 1000;
    EXPECT_EQ(IdleSpin::next_spin(IdleSpin::kSpinNs, 50 * us), IdleSpin::kSpinNs);
    // Bursts a millisecond apart: the next spin outlasts the gap.
    EXPECT_EQ(IdleSpin::next_spin(IdleSpin::kSpinNs, 900 * us), 1800 * us);
    EXPECT_EQ(IdleSpin::next_spin(1800 * us, 100 * us), 1800 * us);
    EXPECT_EQ(IdleSpin::next_spin(IdleSpin::kSpinNs, 1900 * us), IdleSpin::kLongestSpinNs);
    EXPECT_EQ(IdleSpin::next_spin(1800 * us, IdleSpin::kLongestSpinNs), IdleSpin::kSpinNs);
}

TEST(FrameSender, ABatchTheAwakeThreadHasNotStartedForAWhileIsSentByTheNextFlush) {
    // On one processor with this thread: the sender's, though awake, does not run until this
    // one gives the processor up.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    Sink sink;
    size_t takenOver = 0;
    uint32_t n = 0;
    {
        FrameSender sender(to(sink), 1 << 20);
        for (int round = 0; round < 200 && takenOver == 0; ++round) {
            // A longer batch sent here wakes it; the next finds it woken but not yet on
            // the processor, and is left to it.
            const auto batch = [&] {
                for (size_t i = 0; i <= FrameSender::kWakeAbove; ++i, ++n) {
                    const auto f = frame(n);
                    EXPECT_NE(sender.push(f.data(), f.size()), nullptr);
                }
                return sender.publish();
            };
            if (batch() == 0) {
                // It was awake: it goes to sleep again once it has looked for work a while.
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
                while (!sender.sleeps() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            if (batch() != 0)
                continue;
            sender.take_over(); // notes what is published now
            // As a running thread would start it, not giving the processor up.
            const auto later = std::chrono::steady_clock::now() +
                               std::chrono::nanoseconds(FrameSender::kTakeOverNs);
            while (std::chrono::steady_clock::now() < later) {
            }
            takenOver = sender.take_over();
            std::this_thread::yield();
        }
        EXPECT_EQ(sender.take_over(), 0u); // nothing is taken over twice
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(takenOver, FrameSender::kWakeAbove + 1);
    std::lock_guard<std::mutex> lock(sink.mutex);
    ASSERT_EQ(sink.numbers.size(), n);
    for (uint32_t i = 0; i < n; ++i)
        ASSERT_EQ(sink.numbers[i], i);
}

// Several senders, each a share of the flows: however the threads run, no frame of a flow
// is sent before one queued ahead of it, also when the flow moves to another thread.
TEST(FrameSender, FlowsSpreadOverSeveralSendersKeepTheirOrder) {
    struct Record {
        uint32_t flow;
        uint32_t number;
    };
    std::mutex mutex;
    std::vector<Record> records;
    std::vector<std::unique_ptr<FrameSender>> senders;
    std::mt19937 slow(3);
    for (int i = 0; i < 3; ++i)
        senders.push_back(std::make_unique<FrameSender>(
            [&](const iovec* frames, size_t count) {
                std::lock_guard<std::mutex> lock(mutex);
                for (size_t k = 0; k < count; ++k) {
                    Record r;
                    std::memcpy(&r, frames[k].iov_base, sizeof r);
                    records.push_back(r);
                }
                if (slow() % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                return size_t{0};
            },
            1 << 16));
    FlowLanes lanes(senders.size());
    std::mt19937 random(11);
    std::vector<uint32_t> next(6, 0);
    std::vector<size_t> laneMoves(6, 0), lastLane(6, 99);
    for (int burst = 0; burst < 3000; ++burst) {
        // Bursts of a few flows, with pauses that let flows settle and move.
        const size_t frames = 1 + random() % 40;
        for (size_t i = 0; i < frames; ++i) {
            const uint32_t flow = static_cast<uint32_t>(random() % next.size());
            const size_t lane =
                lanes.choose(flow, [&](size_t k) -> const FrameSender& { return *senders[k]; });
            laneMoves[flow] += lastLane[flow] != lane && lastLane[flow] != 99 ? 1 : 0;
            lastLane[flow] = lane;
            const Record r{flow, next[flow]};
            uint8_t bytes[64] = {};
            std::memcpy(bytes, &r, sizeof r);
            while (!senders[lane]->push(bytes, sizeof bytes)) {
                senders[lane]->publish();
                std::this_thread::yield();
            }
            ++next[flow];
            lanes.pushed(flow, senders[lane]->pushed());
        }
        for (auto& s : senders)
            s->publish();
        if (random() % 4 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
    }
    for (auto& s : senders)
        s->drain();
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<uint32_t> seen(next.size(), 0);
    for (const Record& r : records) {
        ASSERT_LT(r.flow, next.size());
        ASSERT_EQ(r.number, seen[r.flow]) << "flow " << r.flow;
        ++seen[r.flow];
    }
    EXPECT_EQ(seen, next);
    // The flows did move between the threads: the order held across moves. (Fewer move
    // where the senders run slowly: a flow moves only once its lane has sent its frames.)
    size_t moves = 0;
    for (size_t m : laneMoves)
        moves += m;
    EXPECT_GT(moves, 10u);
}
