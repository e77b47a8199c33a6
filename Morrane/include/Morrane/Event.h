// Waitable objects: something a thread can wait for through a file descriptor.
#pragma once

#include <atomic>

// Results of the wait operations.
constexpr unsigned MORRANE_INFINITE = 0xFFFFFFFFu;
constexpr int MORRANE_WAIT_OBJECT_0 = 0;
constexpr int MORRANE_WAIT_TIMEOUT = 258;
constexpr int MORRANE_WAIT_FAILED = -1;

// An object that becomes readable on its descriptor when it may be taken.
class CWaitHandle {
public:
    virtual ~CWaitHandle() = default;
    virtual int get_fd() const = 0;
    // Takes the object once its descriptor is readable; false when another
    // waiter took it first (the wait goes on).
    virtual bool try_acquire() = 0;
};

// A manual-reset event: stays signalled until reset.
class CEvent : public CWaitHandle {
public:
    explicit CEvent(bool signalled = false);
    ~CEvent() override;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool valid() const { return m_fd >= 0; }
    void set();
    void reset();
    bool is_set() const;

    int get_fd() const override { return m_fd; }
    bool try_acquire() override { return is_set(); }

private:
    int m_fd = -1;
    // Mirrors the descriptor; orders what the setter wrote before set() with
    // what a waiter reads after it saw the event.
    std::atomic<bool> m_set{false};
};

// Waits for the handle alone: MORRANE_WAIT_OBJECT_0, MORRANE_WAIT_TIMEOUT or
// MORRANE_WAIT_FAILED.
int wait_plain(CWaitHandle& handle, unsigned ms);
