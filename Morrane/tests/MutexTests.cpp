#include "Morrane/Mutex.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using orvane::morrane::CMutex;

namespace {

TEST(MutexTest, RecursiveEnterAndLeave) {
    CMutex mutex;
    EXPECT_EQ(mutex.get_error(), CMutex::eNone);
    EXPECT_TRUE(mutex.enter());
    EXPECT_TRUE(mutex.enter());
    EXPECT_TRUE(mutex.try_enter());
    EXPECT_TRUE(mutex.leave());
    EXPECT_TRUE(mutex.leave());
    EXPECT_TRUE(mutex.leave());
}

TEST(MutexTest, TryEnterHeldByAnotherThreadFailsWithoutError) {
    CMutex mutex;
    ASSERT_TRUE(mutex.enter());
    bool got = true;
    std::thread other([&] { got = mutex.try_enter(); });
    other.join();
    EXPECT_FALSE(got);
    EXPECT_EQ(mutex.get_error(), CMutex::eNone);
    EXPECT_TRUE(mutex.leave());
}

TEST(MutexTest, LeaveWithoutOwnershipSetsReleaseError) {
    CMutex mutex;
    EXPECT_FALSE(mutex.leave());
    EXPECT_EQ(mutex.get_error(), CMutex::eRelease);
}

TEST(MutexTest, CopiesAreIndependentLocks) {
    CMutex first;
    ASSERT_TRUE(first.enter());
    CMutex second(first);
    bool got = false;
    std::thread other([&] {
        got = second.try_enter();
        if (got)
            second.leave();
    });
    other.join();
    EXPECT_TRUE(got);
    first.leave();
}

TEST(MutexTest, EnterExcludesOtherThreads) {
    CMutex mutex;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                mutex.enter();
                ++counter;
                mutex.leave();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
}

TEST(MutexTest, EnterDuringTheDestructorFailsAtOnce) {
    auto* mutex = new CMutex;
    ASSERT_TRUE(mutex->enter());
    std::thread destroyer([mutex] { delete mutex; }); // waits for the holder
    while (!mutex->is_closing())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bool entered = true;
    std::thread late([&] { entered = mutex->enter(); });
    late.join(); // returns without waiting for the holder
    EXPECT_FALSE(entered);
    EXPECT_TRUE(mutex->leave());
    destroyer.join();
}

TEST(MutexTest, SelfTestPasses) {
    testsupport::TempDir dir{"locks"};
    setenv("ALTIREN_LOCK_DIR", dir.str().c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(CMutex::test());
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("creating unnamed mutex... OK\n"), std::string::npos) << out;
    EXPECT_NE(out.find("try lock named mutex... OK - got it\n"), std::string::npos) << out;
    EXPECT_NE(out.find("tested mutex type named successfully\n"), std::string::npos) << out;
}

TEST(MutexTest, ThreadEndingWhileHoldingLeavesItObtainable) {
    CMutex mutex;
    std::thread holder([&] { EXPECT_TRUE(mutex.enter()); });
    holder.join();
    EXPECT_TRUE(mutex.enter()); // abandoned: obtained, not a dead lock
    EXPECT_EQ(mutex.get_error(), CMutex::eNone);
    EXPECT_TRUE(mutex.leave());
}

TEST(MutexTest, AssignedCopyIsALockOfItsOwn) {
    CMutex first;
    CMutex second;
    second = first;
    ASSERT_TRUE(first.enter());
    bool got = false;
    std::thread other([&] {
        got = second.try_enter();
        if (got)
            second.leave();
    });
    other.join();
    EXPECT_TRUE(got);
    first.leave();
}

class NamedMutexTest : public testing::Test {
protected:
    void SetUp() override { setenv("ALTIREN_LOCK_DIR", m_dir.str().c_str(), 1); }
    void TearDown() override { unsetenv("ALTIREN_LOCK_DIR"); }
    testsupport::TempDir m_dir{"locks"};
};

TEST_F(NamedMutexTest, ObjectsOfOneNameShareTheLock) {
    CMutex a("shared_name");
    CMutex b("shared_name");
    ASSERT_TRUE(a.enter());
    EXPECT_TRUE(b.enter()); // the owner enters again through another object
    bool got = true;
    std::thread other([&] { got = b.try_enter(); });
    other.join();
    EXPECT_FALSE(got);
    EXPECT_TRUE(b.leave());
    EXPECT_TRUE(a.leave());
    std::thread again([&] {
        got = b.try_enter();
        if (got)
            b.leave();
    });
    again.join();
    EXPECT_TRUE(got);
}

// Runs a child process that enters the named mutex, reports on `ready`, and
// leaves when a byte arrives on `release` (or ends holding it when abandon).
pid_t child_holding(const char* name, int ready, int release, bool abandon) {
    pid_t pid = fork();
    if (pid == 0) {
        CMutex mutex(name);
        char byte = mutex.enter() ? 'L' : 'E';
        if (write(ready, &byte, 1) != 1)
            _exit(2);
        if (read(release, &byte, 1) != 1)
            _exit(3);
        if (abandon)
            _exit(0);
        _exit(mutex.leave() ? 0 : 4);
    }
    return pid;
}

void across_processes(bool abandon) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t pid = child_holding("cross_process", ready[1], release[0], abandon);
    ASSERT_GT(pid, 0);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'L');

    CMutex mutex("cross_process");
    EXPECT_FALSE(mutex.try_enter());
    EXPECT_EQ(mutex.get_error(), CMutex::eNone);
    std::atomic<bool> entered{false};
    std::thread waiter([&] { entered = mutex.enter(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered); // still held by the child
    ASSERT_EQ(write(release[1], "x", 1), 1);
    waiter.join();
    EXPECT_TRUE(entered);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

TEST_F(NamedMutexTest, ExcludesAcrossTwoProcesses) {
    across_processes(false);
}

TEST_F(NamedMutexTest, ProcessEndingWhileHoldingReleasesIt) {
    across_processes(true);
}

} // namespace
