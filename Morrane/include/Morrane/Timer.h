// Multimedia timer: a plain callback, periodic or once, on the timer thread.
#pragma once

#include "Morrane/Mutex.h"

#include <atomic>

class CTimer {
public:
    using call_back_t = void (*)(void*);
    enum state_t { eReady = 0, eResolutionFailed = 1, eStartFailed = 2, eStopFailed = 3 };

    // Creates and starts a timer; null when it cannot be started.
    static CTimer* addTimer(call_back_t callback, void* argument, unsigned intervalMs,
                            bool oneshot);
    // Ends the timer and frees it. Called from another thread it returns once no
    // callback of the timer runs any more; called from the timer's own callback the
    // timer is freed when that callback returns. The timer must not be used after.
    void killTimer();
    // Console self-test; true when it passes.
    static bool test();

    state_t get_state() const { return m_state.load(); }
    unsigned get_resolution() const { return m_resolution; }

protected:
    // A periodic 1000 ms timer without callback. The destructor is the first
    // virtual; the others follow in their slot order.
    CTimer();
    virtual ~CTimer();

public:
    virtual void set_oneshot(bool oneshot);
    virtual void set_call_back(call_back_t callback, void* argument);
    virtual void set_interval(unsigned ms);
    // Refused unless the state is ready; true at once when already running.
    virtual bool start();
    virtual bool stop();

protected:
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    virtual void timer_event();
    virtual bool init_system_timer();
    virtual void uninit_system_timer();
    virtual bool start_system_timer();
    virtual bool stop_system_timer();
    virtual bool test_run(const char* name, unsigned seconds);

private:
    static void system_callback(unsigned id, void* user);
    void lock();

    std::atomic<state_t> m_state{eReady};
    call_back_t m_callback = nullptr;
    void* m_argument = nullptr;
    bool m_oneshot = false;
    std::atomic<bool> m_running{false};
    unsigned m_id = 0;
    unsigned m_interval = 1000;
    bool m_killed = false;
    orvane::morrane::CMutex m_lock;
    unsigned m_resolution = 1;
    // The last system timer started (kept after a one-shot fired) and whether its
    // callback is running; both guarded by m_lock.
    unsigned m_lastId = 0;
    bool m_inCallback = false;
};
