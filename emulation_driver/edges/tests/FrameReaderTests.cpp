// Reads of a port shared between its taker and a thread of its own, over a datagram socket
// pair standing in for a TAP: the taker reads while it keeps up, the thread once it falls
// behind, the frames keep their order through every hand-over, the thread stays within a
// batch of the taker, a failed port is told after what was read before it, and the watched
// descriptor is readable when there is work.
#include "QuellinEdges/FrameReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace quellin::edges;

namespace {

constexpr size_t kLimit = 2048;

ssize_t read_one(int fd, uint8_t* room, size_t capacity) {
    const ssize_t n = ::recv(fd, room, capacity, MSG_DONTWAIT);
    if (n == 0) {
        errno = EPIPE; // the other end closed: the port failed
        return -1;
    }
    return n;
}

bool readable(int fd, int timeoutMs = 0) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

class FrameReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, fds), 0);
        int size = 4 << 20;
        ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        ::setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        reader = std::make_unique<FrameReader>(
            fds[1],
            [this](uint8_t* room, size_t capacity) { return read_one(fds[1], room, capacity); },
            kLimit, 1 << 20);
    }
    void TearDown() override {
        reader.reset();
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }

    bool send_frame(uint32_t number) {
        uint8_t f[64];
        std::memset(f, 0x3C, sizeof f);
        std::memcpy(f, &number, 4);
        return ::send(fds[0], f, sizeof f, MSG_DONTWAIT) == sizeof f;
    }

    // As the engine's thread does: reads itself or takes; false when nothing waits.
    // `error` is the failure told, if any.
    bool next(uint32_t& number, int& error) {
        error = 0;
        if (!reader->taker_reads()) {
            const uint8_t* frame;
            size_t length;
            if (reader->take(frame, length, error)) {
                std::memcpy(&number, frame, 4);
                fromRing = true;
                return true;
            }
            if (error != 0 || !reader->taker_reads())
                return false;
        }
        uint8_t room[kLimit];
        const ssize_t n = read_one(fds[1], room, sizeof room);
        if (n < 0 && errno != EAGAIN) {
            error = errno;
            return false;
        }
        reader->taker_read(n >= 0);
        if (n < 0)
            return false;
        std::memcpy(&number, room, 4);
        fromRing = false;
        return true;
    }

    bool fromRing = false; // the last frame next() gave came from the thread's ring
    int fds[2] = {-1, -1};
    std::unique_ptr<FrameReader> reader;
};

} // namespace

TEST_F(FrameReaderTest, TheTakerReadsWhileItKeepsUpAndTheThreadOnceItFallsBehind) {
    EXPECT_FALSE(readable(reader->watch_fd()));
    uint32_t sent = 0;
    uint32_t expected = 0;
    uint32_t number;
    int error;
    // Ten at a time: the taker always finds the port dry again.
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(send_frame(sent++));
        ASSERT_TRUE(readable(reader->watch_fd()));
        while (next(number, error))
            ASSERT_EQ(number, expected++);
    }
    EXPECT_EQ(reader->hand_overs(), 0u);
    EXPECT_TRUE(reader->taker_reads());
    // A backlog of more than a hand-over's worth: the thread takes the reading over while
    // more keeps coming, and the order holds.
    for (size_t i = 0; i < 2 * FrameReader::kHandOverReads; ++i)
        ASSERT_TRUE(send_frame(sent++));
    std::atomic<bool> writing{true};
    std::atomic<bool> quit{false};
    std::atomic<uint32_t> written{sent};
    std::thread writer([&] {
        for (uint32_t n = sent; n < sent + 50000 && !quit.load();) {
            if (send_frame(n)) {
                ++n;
                written.store(n);
            } else {
                std::this_thread::yield();
            }
        }
        writing.store(false);
    });
    // A failed assertion returns: the writer is stopped and joined first.
    struct Join {
        std::atomic<bool>& quit;
        std::thread& thread;
        ~Join() {
            quit.store(true);
            if (thread.joinable())
                thread.join();
        }
    } join{quit, writer};
    // As the engine's thread does: a bounded batch a wake-up. A batch that ended at its
    // bound while taking from the ring may leave frames there: the watched descriptor is
    // readable at once. Frames sent and not yet taken make it readable however the batch
    // ended (once the thread has read them, when they are still in the port).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    constexpr int kBound = 5;
    while ((writing.load() || expected < written.load()) &&
           std::chrono::steady_clock::now() < deadline) {
        int taken = 0;
        while (taken < kBound && next(number, error)) {
            ASSERT_EQ(number, expected++);
            ++taken;
        }
        ASSERT_EQ(error, 0);
        if (taken == kBound && fromRing)
            ASSERT_TRUE(readable(reader->watch_fd())) << "frames may wait in the ring, unannounced";
        else if (expected < written.load())
            ASSERT_TRUE(readable(reader->watch_fd(), 2000)) << "frames wait, unannounced";
        else
            readable(reader->watch_fd(), 10);
    }
    writer.join();
    EXPECT_EQ(expected, sent + 50000);
    EXPECT_GE(reader->hand_overs(), 1u);
    // Dry for a while, the reading comes back to the taker, and a frame read from then on
    // is read by it.
    while (!reader->taker_reads() && std::chrono::steady_clock::now() < deadline) {
        readable(reader->watch_fd(), 10);
        EXPECT_FALSE(next(number, error));
    }
    ASSERT_TRUE(reader->taker_reads());
    ASSERT_TRUE(send_frame(expected));
    ASSERT_TRUE(readable(reader->watch_fd(), 1000));
    ASSERT_TRUE(next(number, error));
    EXPECT_EQ(number, expected);
}

TEST_F(FrameReaderTest, APortThatFailsIsToldAfterTheFramesReadBeforeIt) {
    // The thread reads: a backlog the taker hands over.
    for (uint32_t n = 0; n < 200; ++n)
        ASSERT_TRUE(send_frame(n));
    uint32_t expected = 0;
    uint32_t number;
    int error = 0;
    while (reader->taker_reads() && next(number, error))
        ASSERT_EQ(number, expected++);
    ASSERT_FALSE(reader->taker_reads());
    for (uint32_t n = 200; n < 300; ++n)
        ASSERT_TRUE(send_frame(n));
    ::close(fds[0]);
    fds[0] = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (next(number, error)) {
            ASSERT_EQ(number, expected++);
            continue;
        }
        if (error != 0)
            break;
        ASSERT_TRUE(readable(reader->watch_fd(), 1000));
    }
    EXPECT_EQ(expected, 300u);
    EXPECT_EQ(error, EPIPE);
}

TEST_F(FrameReaderTest, TheThreadReadsNoMoreThanABatchAheadOfTheTaker) {
    constexpr uint32_t kSent = 1000;
    for (uint32_t n = 0; n < kSent; ++n)
        ASSERT_TRUE(send_frame(n));
    uint32_t expected = 0;
    uint32_t number;
    int error = 0;
    while (reader->taker_reads() && next(number, error))
        ASSERT_EQ(number, expected++);
    ASSERT_FALSE(reader->taker_reads());
    // The taker takes nothing for a while: the rest waits in the port, not in the ring.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    uint32_t inPort = 0;
    uint8_t room[kLimit];
    while (read_one(fds[1], room, sizeof room) >= 0)
        ++inPort;
    const uint32_t inRing = kSent - expected - inPort;
    EXPECT_GT(inRing, 0u);
    EXPECT_LE(inRing, FrameReader::kBatch);
    // What the ring holds comes next, in order.
    for (uint32_t i = 0; i < inRing; ++i) {
        const uint8_t* frame;
        size_t length;
        ASSERT_TRUE(reader->take(frame, length, error));
        std::memcpy(&number, frame, 4);
        EXPECT_EQ(number, expected++);
    }
}
