// Counting semaphore whose wait is a stop point of the current thread.
#pragma once

#include "Morrane/Event.h"

#include <atomic>
#include <memory>

class CSemaphore : public CWaitHandle {
public:
    static constexpr int kMaxCount = 1000000;

    explicit CSemaphore(unsigned initial = 0);
    ~CSemaphore() override;
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    // Releases one; false when the count is at its maximum or the release failed.
    bool post();
    // Waits without limit through wait_thread: on a CThread whose stop is
    // requested this leaves the thread's body.
    void wait();
    // The shadow count: a hint, updated after each system call.
    int get_value() const;

    int get_fd() const override;
    bool try_acquire() override;

private:
    struct Inner;
    std::unique_ptr<Inner> m_inner;
};
