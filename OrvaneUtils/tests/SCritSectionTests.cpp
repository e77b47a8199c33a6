#include "OrvaneUtils/SCritSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(SCritSection, ReentersOnOneThreadAndExcludesOthersUntilFullyLeft) {
    CSCritSection section;
    std::atomic<bool> entered{false};
    section.enter();
    section.enter(); // the owner may enter again
    std::thread other([&] {
        CSCritSectionLock lock(section);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    section.leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load()); // still held once
    section.leave();
    other.join();
    EXPECT_TRUE(entered.load());
}
