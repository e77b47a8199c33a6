#include "QuellinLinux/EventLoop.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/epoll.h>
#include <thread>
#include <unistd.h>

using namespace quellin::os;

namespace {
struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int fds[2];
        if (::pipe(fds) == 0) {
            r = fds[0];
            w = fds[1];
        }
    }
    ~Pipe() {
        if (r >= 0)
            ::close(r);
        if (w >= 0)
            ::close(w);
    }
    void poke() const { (void)!::write(w, "x", 1); }
    void drain() const {
        char c;
        (void)!::read(r, &c, 1);
    }
};
} // namespace

TEST(EventLoop, DispatchesWatchedFdsAndChangesAndUnwatches) {
    EventLoop loop;
    Pipe p;
    int calls = 0;
    ASSERT_TRUE(loop.watch(p.r, EPOLLIN, [&](uint32_t events) {
        EXPECT_TRUE(events & EPOLLIN);
        p.drain();
        ++calls;
    }));
    EXPECT_FALSE(loop.watch(p.r, EPOLLIN, [](uint32_t) {})); // one watch per fd
    EXPECT_EQ(loop.run_once(0), 0);
    p.poke();
    EXPECT_EQ(loop.run_once(1000), 1);
    EXPECT_EQ(calls, 1);

    ASSERT_TRUE(loop.change(p.r, 0));
    p.poke();
    EXPECT_EQ(loop.run_once(20), 0);
    ASSERT_TRUE(loop.change(p.r, EPOLLIN));
    EXPECT_EQ(loop.run_once(1000), 1);
    EXPECT_EQ(calls, 2);

    loop.unwatch(p.r);
    p.poke();
    EXPECT_EQ(loop.run_once(20), 0);
    EXPECT_FALSE(loop.change(p.r, EPOLLIN));
}

TEST(EventLoop, AHandlerThatUnwatchesAnotherInTheSameBatchStopsItsCall) {
    EventLoop loop;
    Pipe a, b;
    int calls = 0;
    ASSERT_TRUE(loop.watch(a.r, EPOLLIN, [&](uint32_t) {
        ++calls;
        loop.unwatch(b.r);
    }));
    ASSERT_TRUE(loop.watch(b.r, EPOLLIN, [&](uint32_t) {
        ++calls;
        loop.unwatch(a.r);
    }));
    a.poke();
    b.poke();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(loop.run_once(1000), 1);
    EXPECT_EQ(calls, 1);
}

TEST(EventLoop, PostAndStopWorkFromOtherThreads) {
    EventLoop loop;
    std::thread::id ran_on;
    std::thread other([&] {
        loop.post([&] { ran_on = std::this_thread::get_id(); });
        loop.post([&] { loop.stop(); });
    });
    loop.run(); // returns once the posted stop ran
    other.join();
    EXPECT_EQ(ran_on, std::this_thread::get_id());
    EXPECT_TRUE(loop.stopped());

    EventLoop second;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.stop();
    });
    second.run();
    stopper.join();
}

TEST(EventLoop, ADescriptorRunLastWaitsForTheOthersOfItsWakeUpAndTheWakeUpHookEndsIt) {
    EventLoop loop;
    Pipe timer, a, b; // the one run last is watched first
    std::string order;
    const auto note = [&](const Pipe& p, char c) {
        return [&order, &p, c](uint32_t) {
            p.drain();
            order += c;
        };
    };
    ASSERT_TRUE(loop.watch(timer.r, EPOLLIN, note(timer, 't')));
    ASSERT_TRUE(loop.watch(a.r, EPOLLIN, note(a, 'a')));
    ASSERT_TRUE(loop.watch(b.r, EPOLLIN, note(b, 'b')));
    loop.run_last(timer.r);
    loop.after_each_wake([&] { order += '.'; });
    for (int i = 0; i < 3; ++i) {
        timer.poke();
        a.poke();
        b.poke();
        ::usleep(1000);
        order.clear();
        ASSERT_EQ(loop.run_once(1000), 3);
        ASSERT_EQ(order.size(), 4u) << order;
        EXPECT_EQ(order.substr(2), "t.");
    }
    // A wake-up without events still ends with the hook.
    order.clear();
    EXPECT_EQ(loop.run_once(0), 0);
    EXPECT_EQ(order, ".");
}

TEST(EventLoop, TheDispatchHooksRunAroundEveryHandlerAndNothingElse) {
    EventLoop loop;
    Pipe a, b;
    std::string order;
    ASSERT_TRUE(loop.watch(a.r, EPOLLIN, [&](uint32_t) {
        a.drain();
        order += 'a';
    }));
    ASSERT_TRUE(loop.watch(b.r, EPOLLIN, [&](uint32_t) {
        b.drain();
        order += 'b';
    }));
    loop.around_each_dispatch([&] { order += '('; }, [&] { order += ')'; });
    loop.post([&] { order += 'p'; });
    a.poke();
    b.poke();
    ::usleep(1000);
    ASSERT_EQ(loop.run_once(1000), 2);
    EXPECT_TRUE(order == "(a)(b)p" || order == "(b)(a)p") << order;
}
