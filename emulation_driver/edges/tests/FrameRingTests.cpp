// The ring of frames between two threads: records whole and in order across the ring's
// end, room given back only when released, records taken back before they were published.
#include "QuellinEdges/FrameRing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace quellin::edges;

namespace {

// A record that says which it is: its number, then bytes that follow from it.
std::vector<uint8_t> record(uint32_t number, size_t length) {
    std::vector<uint8_t> r(std::max<size_t>(length, 4));
    std::memcpy(r.data(), &number, 4);
    for (size_t i = 4; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>(number * 7 + i);
    return r;
}

uint32_t number_of(const uint8_t* data) {
    uint32_t n;
    std::memcpy(&n, data, 4);
    return n;
}

} // namespace

TEST(FrameRing, RecordsComeOutWholeAndInOrderAcrossTheEnd) {
    FrameRing ring(4096);
    EXPECT_EQ(ring.capacity(), 4096u);
    uint32_t written = 0;
    uint32_t read = 0;
    // Lengths that do not divide the ring: records meet its end at every offset.
    for (int round = 0; round < 400; ++round) {
        for (int i = 0; i < 3; ++i) {
            const auto r = record(written, 1 + (written * 37) % 900);
            ASSERT_TRUE(ring.push(r.data(), r.size())) << written;
            ++written;
        }
        ring.publish();
        const uint8_t* data;
        size_t length;
        while (ring.peek(data, length)) {
            const auto want = record(read, 1 + (read * 37) % 900);
            ASSERT_EQ(length, want.size()) << read;
            ASSERT_EQ(std::memcmp(data, want.data(), length), 0) << read;
            ring.pop();
            ++read;
        }
        ring.release();
    }
    EXPECT_EQ(read, written);
    EXPECT_TRUE(ring.producer_sees_empty());
}

TEST(FrameRing, RoomComesBackOnlyWhenReleasedAndOnlyPublishedRecordsAreSeen) {
    FrameRing ring(4096);
    const auto big = record(1, ring.max_record() + 1);
    EXPECT_EQ(ring.push(big.data(), big.size()), nullptr);
    uint32_t pushed = 0;
    for (;; ++pushed) {
        const auto r = record(pushed, 500);
        if (!ring.push(r.data(), r.size()))
            break;
    }
    EXPECT_EQ(pushed, 4096u / 512u);
    const uint8_t* data;
    size_t length;
    EXPECT_FALSE(ring.peek(data, length)) << "nothing published yet";
    EXPECT_FALSE(ring.has_published());
    ring.publish();
    ASSERT_TRUE(ring.has_published());
    for (uint32_t i = 0; i < pushed; ++i) {
        ASSERT_TRUE(ring.peek(data, length));
        EXPECT_EQ(number_of(data), i);
        ring.pop();
    }
    const auto more = record(99, 500);
    EXPECT_EQ(ring.push(more.data(), more.size()), nullptr) << "read but not released";
    EXPECT_FALSE(ring.producer_sees_empty());
    ring.release();
    EXPECT_TRUE(ring.producer_sees_empty());
    EXPECT_NE(ring.push(more.data(), more.size()), nullptr);
}

TEST(FrameRing, RecordsTakenBackAreNeverSeenAndTheirRoomIsUsedAgain) {
    FrameRing ring(4096);
    const auto first = record(1, 100);
    ASSERT_TRUE(ring.push(first.data(), first.size()));
    ring.publish();
    const uint64_t start = ring.write_position();
    EXPECT_FALSE(ring.consumer_reached(start));
    for (uint32_t n = 2; n < 6; ++n) {
        const auto r = record(n, 700);
        ASSERT_TRUE(ring.push(r.data(), r.size()));
    }
    ring.rollback(start);
    // Reserved, written into and committed shorter: only the committed bytes count.
    uint8_t* room = ring.reserve(1000);
    ASSERT_NE(room, nullptr);
    const auto last = record(6, 40);
    std::memcpy(room, last.data(), last.size());
    ring.commit(last.size());
    ring.publish();
    const uint8_t* data;
    size_t length;
    ASSERT_TRUE(ring.peek(data, length));
    EXPECT_EQ(number_of(data), 1u);
    ring.pop();
    ring.release();
    EXPECT_TRUE(ring.consumer_reached(start));
    ASSERT_TRUE(ring.peek(data, length));
    EXPECT_EQ(number_of(data), 6u);
    EXPECT_EQ(length, 40u);
    ring.pop();
    EXPECT_FALSE(ring.peek(data, length));
}

TEST(FrameRing, TwoThreadsPassManyRecordsIntactAndInOrder) {
    FrameRing ring(64 * 1024);
    constexpr uint32_t kCount = 100000;
    std::thread producer([&] {
        for (uint32_t n = 0; n < kCount;) {
            const auto r = record(n, 4 + (n * 13) % 1500);
            if (ring.push(r.data(), r.size())) {
                ++n;
                if (n % 16 == 0)
                    ring.publish();
            } else {
                ring.publish();
                std::this_thread::yield();
            }
        }
        ring.publish();
    });
    uint32_t expected = 0;
    bool intact = true;
    while (expected < kCount && intact) {
        const uint8_t* data;
        size_t length;
        if (!ring.peek(data, length)) {
            ring.release();
            std::this_thread::yield();
            continue;
        }
        const auto want = record(expected, 4 + (expected * 13) % 1500);
        intact = length == want.size() && std::memcmp(data, want.data(), length) == 0;
        ring.pop();
        ++expected;
    }
    ring.release();
    producer.join();
    EXPECT_TRUE(intact) << "record " << expected - 1;
    EXPECT_EQ(expected, kCount);
}
