// Threads with a cooperative stop protocol.
//
// A CThread owns one thread that waits behind a start gate until start(). Its body
// waits and sleeps only through the thread's own wait operations (or the free
// functions below); each of them watches the thread's stop event and, when it is
// set, leaves the body at once by throwing CThread::exit_signal, which the thread
// procedure catches before it runs the closing steps. A body must let that
// exception pass (catch (...) blocks rethrow it). While an exception unwinds the
// body (a local's destructor), the wait operations wait plainly, as after the body.
//
// A class derived from CThread must call terminate() in its own destructor: the
// base destructor runs after the derived part is gone and cannot stop a thread
// that still runs the derived hooks safely. From terminate() on, the object's
// children no longer call its on_signal.
#pragma once

#include "Morrane/Event.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <pthread.h>

class CSemaphore;

// A thread-local slot.
class CThreadKey {
public:
    CThreadKey();
    ~CThreadKey();
    CThreadKey(const CThreadKey&) = delete;
    CThreadKey& operator=(const CThreadKey&) = delete;

    void* getKey() const;
    void setKey(void* value);

private:
    pthread_key_t m_key;
};

enum thread_cancel_t {
    eThreadRunning = 0,
    eThreadEnding = 1,
    eThreadCancelled = 2,
    eThreadFinished = 3,
};

class CThread {
public:
    // Thrown by the wait operations to leave the body; not a std::exception.
    struct exit_signal {};

    // Priorities: -1 below normal, 1 above normal, 2 highest, any other normal.
    // With a start semaphore the thread starts at once and waits on it before
    // its first step. Throws thread_error when the thread cannot be created.
    explicit CThread(CSemaphore* startSemaphore = nullptr, int priority = 0,
                     unsigned stackSize = 0);
    // Wraps the calling thread; with main true it becomes the main thread object.
    explicit CThread(bool main);
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Opens the start gate. Returns 0.
    int start(CSemaphore* startSemaphore = nullptr);

    bool is_running() const { return m_threadId.load() != 0; }
    bool is_thread() const;
    CThread* get_parent() const;
    void clr_parent();
    thread_cancel_t get_cancel() const { return m_cancel.load(); }
    // The priority as given, reduced to -1, 0, 1 or 2.
    int get_priority() const { return m_priority; }
    uint32_t get_thread_id() const { return m_threadId.load(); }

    // True on a thread of its own whose body has not finished: its waits are stop points.
    bool stoppable() const;
    // True when a stop was requested and the body has not finished.
    bool stop_pending() const;

protected:
    // Stop points: each leaves the body when the stop event is set (unless the
    // thread has finished its body). wait_handle gives MORRANE_WAIT_OBJECT_0 or
    // MORRANE_WAIT_TIMEOUT.
    int wait_handle(CWaitHandle& handle, unsigned ms);
    void Sleep(unsigned ms);
    void Yield();

    virtual void run() = 0;     // the body
    virtual void on_close() {}  // closing hook
    virtual void on_finish() {} // closing hook, runs last in the thread
    virtual void on_init() {}   // first body step
    virtual void* get_extended() { return nullptr; }
    // Called on the parent when a child ends (with the child).
    virtual void on_signal(CThread* child) { (void)child; }
    virtual void on_hook7() {}
    virtual void on_hook8() {}
    virtual void on_hook9() {}

    void set_cancel(thread_cancel_t state);
    [[noreturn]] void exit();
    // Stops the thread cooperatively and joins it; nothing when it is not
    // running, when called on its own thread, or a second time. Either way the
    // object takes no further on_signal from its children.
    void terminate();

private:
    friend int wait_thread(CWaitHandle&, unsigned);
    friend void xx_delay(unsigned);
    friend void xx_yield();
    static void* execute(void* self);
    void run_steps();
    void signal_parent();
    bool waits_plainly() const;

    CThread* m_parent = nullptr;
    std::atomic<uint32_t> m_threadId{0};
    std::atomic<thread_cancel_t> m_cancel{eThreadRunning};
    CSemaphore* m_startSemaphore = nullptr;
    bool m_started = false;
    CEvent m_stopEvent;
    pthread_t m_handle{};
    bool m_ownsThread = false;
    int m_priority = 0;

    // Start gate and the hand-over of the thread identifier.
    std::mutex m_gateMutex;
    std::condition_variable m_gateCond;
    bool m_gateOpen = false;
    bool m_idKnown = false;
    std::mutex m_terminateMutex;
};

// The calling thread's CThread, or null.
CThread* get_thread();
// Waits on a handle; a stop point on a CThread. MORRANE_WAIT_OBJECT_0 or MORRANE_WAIT_TIMEOUT.
int wait_thread(CWaitHandle& handle, unsigned ms);
void xx_delay(unsigned ms);
void xx_yield();
