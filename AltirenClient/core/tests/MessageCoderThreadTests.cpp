#include "AltirenClient/MessageCoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The proxy's thread and the GUI thread encrypt at once, each with its own coder; the
// first construction may happen on either.
TEST(MessageCoderThreads, CodersOnSeveralThreadsWorkIndependently) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 20; ++i) {
                MessageCoder coder;
                std::string value = "value " + std::to_string(t) + "/" + std::to_string(i);
                std::string copy = value;
                if (!coder.EncryptDecryptStoredValue(copy, true) ||
                    !coder.EncryptDecryptStoredValue(copy, false) || copy != value)
                    ++failures;
                std::string request = value;
                if (!coder.EncryptDecryptMessage(request, true))
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}
