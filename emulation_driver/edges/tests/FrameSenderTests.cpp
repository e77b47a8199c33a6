// The sender thread of a port: every frame in order and in batches, frames not taken
// counted, nothing left behind at the end, no wake-up missed however the two threads meet.
#include "QuellinEdges/FrameSender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace quellin::edges;

namespace {

struct Sink {
    std::mutex mutex;
    std::vector<uint32_t> numbers;
    std::vector<size_t> batches;
    size_t refuseEvery = 0; // every n-th frame is not taken

    size_t send(const iovec* frames, size_t count) {
        std::lock_guard<std::mutex> lock(mutex);
        batches.push_back(count);
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

TEST(FrameSender, FramesPushedBackBeforePublishingAreNotSentAndTheEndSendsTheRest) {
    Sink sink;
    {
        FrameSender sender(to(sink), 1 << 20);
        const uint64_t start = sender.position();
        for (uint32_t n = 1; n <= 3; ++n) {
            const auto f = frame(n);
            sender.push(f.data(), f.size());
        }
        EXPECT_TRUE(sender.sent_up_to(start));
        sender.take_back(start);
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

TEST(FrameSender, AFullRingRefusesAFrameRatherThanWaiting) {
    Sink sink;
    std::mutex gate;
    std::unique_lock<std::mutex> held(gate);
    // A sender that cannot send until the gate opens.
    FrameSender sender(
        [&](const iovec* frames, size_t count) {
            std::lock_guard<std::mutex> wait(gate);
            return sink.send(frames, count);
        },
        4096);
    size_t taken = 0;
    for (uint32_t n = 0; n < 200; ++n) {
        const auto f = frame(n);
        taken += sender.push(f.data(), f.size()) ? 1 : 0;
        sender.publish();
    }
    EXPECT_LT(taken, 200u);
    held.unlock();
    sender.drain();
    EXPECT_EQ(sink.received(), taken);
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
