// Recursive mutex with an error state.
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace orvane::morrane {

namespace detail {
// The lock behind a CMutex: process-local, or (with a name) shared between processes.
class MutexHandle {
public:
    virtual ~MutexHandle() = default;
    // 0 obtained (also when abandoned by a thread that ended), 1 timed out / busy,
    // -1 the wait failed.
    virtual int lock() = 0;
    virtual int try_lock() = 0;
    virtual int timed_lock(unsigned ms) = 0;
    // true on success.
    virtual bool unlock() = 0;
};
} // namespace detail

class CMutex {
public:
    enum error_t { eNone = 0, eCreate = 1, eWait = 2, eRelease = 3 };

    // A null name gives an unnamed, process-local mutex. A named mutex is shared
    // by every CMutex of that name in any process of the machine.
    explicit CMutex(const char* name = nullptr);
    // A copy is a mutex of its own with the same name (never a shared handle).
    CMutex(const CMutex& other);
    CMutex& operator=(const CMutex& other);
    ~CMutex();

    // Waits without limit. On a CThread whose stop is requested while it waits,
    // gives up and returns false (error 0), so that the thread can be stopped.
    bool enter();
    bool try_enter();
    bool leave();
    error_t get_error() const { return m_error.load(); }
    bool is_closing() const { return m_bClosing.load(); }

    // Console self-test of the unnamed and the named mutex; true when both pass.
    static bool test();

private:
    void create();

    std::atomic<error_t> m_error{eNone};
    std::unique_ptr<detail::MutexHandle> m_hMutex;
    std::atomic<bool> m_bClosing{false};
    std::string m_name;
    bool m_named = false;
};

// Holds a CMutex for a scope. Unlike a bare enter(), it waits on through a stop
// request of the calling thread: the sections it guards are short.
class CMutexLock {
public:
    explicit CMutexLock(CMutex& mutex) : m_mutex(mutex), m_locked(false) {
        while (!(m_locked = mutex.enter()) && mutex.get_error() == CMutex::eNone &&
               !mutex.is_closing()) {
        }
    }
    ~CMutexLock() {
        if (m_locked)
            m_mutex.leave();
    }
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;
    bool locked() const { return m_locked; }

private:
    CMutex& m_mutex;
    bool m_locked;
};

} // namespace orvane::morrane
