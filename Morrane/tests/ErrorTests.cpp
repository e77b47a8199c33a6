#include "Morrane/MorraneError.h"
#include "Morrane/System.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

namespace {

TEST(ErrorTest, DerivedErrorCaughtAsBaseKeepsItsValues) {
    try {
        throw thread_error("no thread", "Thread.cpp", 11);
    } catch (const morrane_error& e) {
        EXPECT_STREQ(e.what(), "no thread");
        EXPECT_EQ(e.get_error(), 11u);
        EXPECT_EQ(e.where(), "Thread.cpp");
        EXPECT_NE(dynamic_cast<const thread_error*>(&e), nullptr);
    }
}

TEST(ErrorTest, CopyKeepsMessageCodeAndPlace) {
    thread_key_error original("no slot", "ThreadKey.cpp", 8);
    thread_key_error copy(original);
    semaphore_error other("x", "y", 1);
    morrane_error assigned = other;
    assigned = original;
    const morrane_error* both[] = {&copy, &assigned};
    for (const morrane_error* e : both) {
        EXPECT_STREQ(e->what(), "no slot");
        EXPECT_EQ(e->get_error(), 8u);
        EXPECT_EQ(e->where(), "ThreadKey.cpp");
    }
}

TEST(SystemTest, ErrorTextAndLastError) {
    errno = ENOENT;
    EXPECT_EQ(CSystem::geterr(), static_cast<unsigned>(ENOENT));
    EXPECT_EQ(CSystem::geterr_str(ENOENT), "No such file or directory");
    EXPECT_FALSE(CSystem::geterr_str(99999).empty());
}

TEST(SystemTest, MsleepSleepsAtLeastTheTime) {
    auto start = std::chrono::steady_clock::now();
    CSystem::msleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

} // namespace
