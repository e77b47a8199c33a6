#include "Morrane/Mutex.h"
#include "Morrane/Semaphore.h"
#include "Morrane/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using orvane::morrane::CMutex;

namespace {

using Clock = std::chrono::steady_clock;

// A thread whose body is a function; records which steps ran.
class FnThread : public CThread {
public:
    explicit FnThread(std::function<void(FnThread&)> body, CSemaphore* gate = nullptr,
                      int priority = 0)
        : CThread(gate, priority, 0), m_body(std::move(body)) {}
    ~FnThread() override { terminate(); }

    using CThread::Sleep;
    using CThread::terminate;
    using CThread::wait_handle;

    std::atomic<bool> bodyStarted{false};
    std::atomic<bool> bodyReturned{false};
    std::atomic<bool> finished{false};
    std::atomic<int> signals{0};
    std::atomic<CThread*> lastChild{nullptr};

protected:
    void run() override {
        bodyStarted = true;
        m_body(*this);
        bodyReturned = true;
    }
    void on_finish() override { finished = true; }
    void on_signal(CThread* child) override {
        lastChild = child;
        ++signals;
    }

private:
    std::function<void(FnThread&)> m_body;
};

void wait_for(const std::atomic<bool>& flag) {
    for (int i = 0; i < 2000 && !flag; ++i)
        std::this_thread::sleep_for(5ms);
}

TEST(ThreadStop, DestroyingASleepingThreadReturnsAtOnce) {
    auto thread = std::make_unique<FnThread>([](FnThread& self) { self.Sleep(60000); });
    thread->start();
    wait_for(thread->bodyStarted);
    auto begin = Clock::now();
    FnThread* raw = thread.get();
    raw->terminate();
    EXPECT_LT(Clock::now() - begin, 20s);
    EXPECT_TRUE(raw->finished);
    EXPECT_FALSE(raw->bodyReturned);
    EXPECT_EQ(raw->get_cancel(), eThreadFinished);
    EXPECT_FALSE(raw->is_running());
    thread.reset();
}

TEST(ThreadStop, StopWhileWaitingOnASemaphore) {
    CSemaphore never(0);
    std::atomic<bool> passed{false};
    FnThread thread([&](FnThread&) {
        never.wait();
        passed = true;
    });
    thread.start();
    wait_for(thread.bodyStarted);
    std::this_thread::sleep_for(20ms);
    thread.terminate();
    EXPECT_FALSE(passed);
    EXPECT_TRUE(thread.finished);
    EXPECT_EQ(never.get_value(), 0);
}

TEST(ThreadStop, StopWhileWaitingOnAMutexHeldByTheStopper) {
    CMutex mutex;
    ASSERT_TRUE(mutex.enter());
    std::atomic<bool> waiting{false};
    std::atomic<int> entered{-1};
    std::atomic<bool> afterSleep{false};
    FnThread thread([&](FnThread& self) {
        waiting = true;
        entered = mutex.enter() ? 1 : 0;
        self.Sleep(60000);
        afterSleep = true;
    });
    thread.start();
    wait_for(waiting);
    std::this_thread::sleep_for(30ms);
    // Would deadlock if the mutex wait ignored the stop event.
    thread.terminate();
    EXPECT_EQ(entered, 0);
    EXPECT_EQ(mutex.get_error(), CMutex::eNone);
    EXPECT_FALSE(afterSleep);
    EXPECT_TRUE(mutex.leave());
}

TEST(ThreadStop, ScopedLockWaitsThroughAStopRequest) {
    CMutex mutex;
    ASSERT_TRUE(mutex.enter());
    std::atomic<bool> waiting{false};
    std::atomic<int> locked{-1};
    FnThread thread([&](FnThread& self) {
        waiting = true;
        {
            orvane::morrane::CMutexLock guard(mutex);
            locked = guard.locked() ? 1 : 0;
        }
        self.Sleep(60000);
    });
    thread.start();
    wait_for(waiting);
    std::thread stopper([&] { thread.terminate(); });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(locked, -1); // still waiting although the stop was requested
    EXPECT_TRUE(mutex.leave());
    stopper.join();
    EXPECT_EQ(locked, 1);
    EXPECT_TRUE(thread.finished);
}

TEST(ThreadStop, NeverStartedThreadEndsWithoutRunningItsSteps) {
    auto thread = std::make_unique<FnThread>([](FnThread&) {});
    EXPECT_TRUE(thread->is_running());
    thread->terminate();
    EXPECT_FALSE(thread->is_running());
    EXPECT_FALSE(thread->bodyStarted);
    EXPECT_FALSE(thread->finished);
    EXPECT_EQ(thread->get_cancel(), eThreadCancelled);
    thread.reset();
}

TEST(ThreadStop, StopBeforeTheBodyIsSetUpDoesNotCrash) {
    // The thread waits on its start semaphore, which nobody posts.
    CSemaphore gate(0);
    FnThread thread([](FnThread&) {}, &gate);
    std::this_thread::sleep_for(10ms);
    thread.terminate();
    EXPECT_FALSE(thread.bodyStarted);
    EXPECT_TRUE(thread.finished);
    EXPECT_FALSE(thread.is_running());
}

TEST(ThreadStop, StartSemaphoreReleasesTheBody) {
    CSemaphore gate(0);
    FnThread thread([](FnThread&) {}, &gate);
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(thread.bodyStarted);
    gate.post();
    wait_for(thread.finished);
    EXPECT_TRUE(thread.bodyReturned);
    EXPECT_EQ(thread.get_cancel(), eThreadFinished);
}

TEST(ThreadStop, TerminateTwiceJoinsOnce) {
    FnThread thread([](FnThread&) {});
    thread.start();
    wait_for(thread.finished);
    EXPECT_TRUE(thread.is_running()); // until it is joined
    thread.terminate();
    EXPECT_FALSE(thread.is_running());
    EXPECT_EQ(thread.get_thread_id(), 0u);
    thread.terminate();
    EXPECT_FALSE(thread.is_running());
}

TEST(ThreadStop, WaitOnHandleTimesOut) {
    CSemaphore never(0);
    std::atomic<int> result{-2};
    FnThread thread([&](FnThread& self) { result = self.wait_handle(never, 20); });
    thread.start();
    wait_for(thread.finished);
    EXPECT_EQ(result, MORRANE_WAIT_TIMEOUT);
}

TEST(ThreadFamily, ChildEndingSignalsItsParent) {
    std::unique_ptr<FnThread> child;
    std::atomic<bool> childMade{false};
    FnThread parent([&](FnThread& self) {
        child = std::make_unique<FnThread>([](FnThread&) {});
        childMade = true;
        child->start();
        self.Sleep(60000);
    });
    parent.start();
    wait_for(childMade);
    wait_for(child->finished);
    EXPECT_EQ(child->get_parent(), &parent);
    EXPECT_GE(parent.signals, 1);
    EXPECT_EQ(parent.lastChild, child.get());
    child.reset();
    parent.terminate();
}

TEST(ThreadFamily, ChildOutlivingItsParentSignalsNoOne) {
    CSemaphore release(0);
    std::unique_ptr<FnThread> child;
    auto parent = std::make_unique<FnThread>([&](FnThread&) {
        child = std::make_unique<FnThread>([&](FnThread&) { release.wait(); });
        child->start();
    });
    parent->start();
    wait_for(parent->finished);
    parent.reset(); // the parent object is gone while its child still runs
    ASSERT_TRUE(child);
    EXPECT_EQ(child->get_parent(), nullptr);
    release.post();
    wait_for(child->finished);
    child.reset(); // ASan reports a call on the destroyed parent
}

// A derived class with state that its closing hook uses.
class Recorder : public CThread {
public:
    Recorder() : CThread(nullptr, 0, 0) {}
    ~Recorder() override { terminate(); }
    std::vector<int> log;

protected:
    void run() override { Sleep(60000); }
    void on_finish() override {
        std::this_thread::sleep_for(20ms);
        log.push_back(3);
    }
};

TEST(ThreadFamily, DerivedDestructorStopsBeforeItsStateGoes) {
    auto recorder = std::make_unique<Recorder>();
    recorder->start();
    std::this_thread::sleep_for(10ms);
    recorder.reset(); // ASan/TSan report the hook touching destroyed members
}

// A parent whose members go before its base part: the child ends in between.
class GatedParent : public CThread {
public:
    GatedParent(std::unique_ptr<FnThread>& child, CEvent& release, std::atomic<bool>& childMade)
        : CThread(nullptr, 0, 0), m_childMade(childMade), m_releaser{child, release} {
        m_signals.reserve(16);
    }
    ~GatedParent() override { terminate(); }

protected:
    void run() override {
        CEvent& release = m_releaser.release;
        m_releaser.child = std::make_unique<FnThread>(
            [&release](FnThread& self) { self.wait_handle(release, 10000); });
        m_releaser.child->start();
        m_childMade = true;
        Sleep(60000);
    }
    void on_signal(CThread*) override { m_signals.push_back(1); }

private:
    std::atomic<bool>& m_childMade;
    // Destroyed after m_signals: lets the child end and waits until it has.
    struct Releaser {
        std::unique_ptr<FnThread>& child;
        CEvent& release;
        ~Releaser() {
            release.set();
            if (child)
                wait_for(child->finished);
        }
    } m_releaser;
    std::vector<int> m_signals;
};

TEST(ThreadFamily, ChildEndingWhileItsParentIsDestroyedSignalsNoOne) {
    CEvent release;
    std::unique_ptr<FnThread> child;
    std::atomic<bool> childMade{false};
    auto parent = std::make_unique<GatedParent>(child, release, childMade);
    parent->start();
    wait_for(childMade);
    ASSERT_TRUE(childMade);
    parent.reset(); // ASan reports the child's signal touching the destroyed members
    EXPECT_TRUE(child->finished);
    EXPECT_EQ(child->get_parent(), nullptr);
    child.reset();
}

TEST(ThreadStop, StopPointsInADestructorDuringTheStopWaitPlainly) {
    CEvent ready(true);
    std::atomic<bool> cleaned{false};
    std::atomic<int> waited{-2};
    FnThread thread([&](FnThread& self) {
        struct Cleanup {
            CEvent& ready;
            std::atomic<bool>& cleaned;
            std::atomic<int>& waited;
            ~Cleanup() {
                // Stop points reached while the stop unwinds the body.
                xx_delay(5);
                xx_yield();
                waited = wait_thread(ready, 1000);
                cleaned = true;
            }
        } cleanup{ready, cleaned, waited};
        self.Sleep(60000);
    });
    thread.start();
    wait_for(thread.bodyStarted);
    auto begin = Clock::now();
    thread.terminate(); // the process aborted here
    EXPECT_LT(Clock::now() - begin, 20s);
    EXPECT_TRUE(cleaned);
    EXPECT_EQ(waited, MORRANE_WAIT_OBJECT_0);
    EXPECT_FALSE(thread.bodyReturned);
    EXPECT_TRUE(thread.finished);
}

TEST(ThreadFreeFunctions, PlainThreadHasNoThreadObject) {
    std::atomic<bool> none{false};
    std::atomic<long> sleptMs{0};
    std::thread plain([&] {
        none = get_thread() == nullptr;
        auto begin = Clock::now();
        xx_delay(30);
        xx_yield();
        sleptMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
        CSemaphore one(1);
        EXPECT_EQ(wait_thread(one, 0), MORRANE_WAIT_OBJECT_0);
        EXPECT_EQ(wait_thread(one, 10), MORRANE_WAIT_TIMEOUT);
    });
    plain.join();
    EXPECT_TRUE(none);
    EXPECT_GE(sleptMs, 30);
}

TEST(ThreadFreeFunctions, MainThreadHasItsObject) {
    CThread* main = get_thread();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->is_thread());
    EXPECT_TRUE(main->is_running());
    EXPECT_FALSE(main->stoppable());
}

TEST(ThreadFreeFunctions, XxDelayOnAThreadIsAStopPoint) {
    FnThread thread([](FnThread&) { xx_delay(60000); });
    thread.start();
    wait_for(thread.bodyStarted);
    auto begin = Clock::now();
    thread.terminate();
    EXPECT_LT(Clock::now() - begin, 20s);
    EXPECT_FALSE(thread.bodyReturned);
}

TEST(ThreadPriority, OutOfRangeGivesNormal) {
    std::atomic<int> nice5{99}, niceLow{99};
    errno = 0;
    int base = getpriority(PRIO_PROCESS, 0);
    FnThread normal([&](FnThread&) { nice5 = getpriority(PRIO_PROCESS, gettid()); }, nullptr, 5);
    FnThread low([&](FnThread&) { niceLow = getpriority(PRIO_PROCESS, gettid()); }, nullptr, -1);
    EXPECT_EQ(normal.get_priority(), 0);
    EXPECT_EQ(low.get_priority(), -1);
    normal.start();
    low.start();
    wait_for(normal.finished);
    wait_for(low.finished);
    EXPECT_EQ(nice5, base);
    EXPECT_GT(niceLow, base);
}

TEST(Semaphore, CountsAndWakesWaiters) {
    CSemaphore sem(2);
    EXPECT_EQ(sem.get_value(), 2);
    sem.wait();
    sem.wait();
    EXPECT_EQ(sem.get_value(), 0);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            sem.wait();
            ++woken;
        });
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sem.post());
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(woken, 3);
    EXPECT_EQ(sem.get_value(), 0);
}

} // namespace
