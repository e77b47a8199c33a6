#include "Morrane/Mutex.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

} // namespace
