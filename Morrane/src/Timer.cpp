#include "Morrane/Timer.h"

#include "Morrane/System.h"

#include "platform/MMTimer.h"

#include <algorithm>
#include <iostream>

namespace mm = platform::mmtimer;

CTimer::CTimer() {
    if (!init_system_timer())
        m_state = eResolutionFailed;
}

CTimer::~CTimer() {
    stop();
    uninit_system_timer();
}

CTimer* CTimer::addTimer(call_back_t callback, void* argument, unsigned intervalMs, bool oneshot) {
    auto* timer = new CTimer;
    timer->set_call_back(callback, argument);
    timer->set_interval(intervalMs);
    timer->set_oneshot(oneshot);
    if (!timer->start()) {
        delete timer;
        return nullptr;
    }
    return timer;
}

void CTimer::lock() {
    // enter() gives up while the calling thread is being stopped; the timer
    // must still be ended, so keep trying.
    while (!m_lock.enter() && m_lock.get_error() == orvane::morrane::CMutex::eNone) {
    }
}

void CTimer::killTimer() {
    lock();
    m_killed = true;
    const bool fromOwnCallback = m_inCallback;
    const unsigned lastId = m_lastId;
    m_lock.leave();
    if (fromOwnCallback) {
        // The system callback frees the timer when this callback returns.
        stop();
        return;
    }
    // Ends the system timer and waits for a callback in flight (it finds the
    // killed flag and leaves the timer alone), for one-shot timers too.
    stop();
    if (lastId)
        mm::killEvent(lastId);
    delete this;
}

void CTimer::set_oneshot(bool oneshot) {
    m_oneshot = oneshot;
}

void CTimer::set_call_back(call_back_t callback, void* argument) {
    m_callback = callback;
    m_argument = argument;
}

void CTimer::set_interval(unsigned ms) {
    m_interval = ms;
}

bool CTimer::start() {
    if (m_state != eReady)
        return false;
    // Already running: a second system timer would outlive killTimer and fire on
    // the freed timer.
    if (m_running)
        return true;
    if (!start_system_timer()) {
        m_state = eStartFailed;
        return false;
    }
    m_running = true;
    return true;
}

bool CTimer::stop() {
    if (!m_running)
        return true;
    if (!stop_system_timer()) {
        m_state = eStopFailed;
        return false;
    }
    m_running = false;
    return true;
}

void CTimer::timer_event() {
    if (m_callback)
        m_callback(m_argument);
}

bool CTimer::init_system_timer() {
    mm::TimerCaps caps{};
    if (!mm::getDevCaps(caps))
        return false;
    m_resolution = std::min(std::max(caps.periodMin, 1u), caps.periodMax);
    return mm::beginPeriod(m_resolution);
}

void CTimer::uninit_system_timer() {
    mm::endPeriod(m_resolution);
}

bool CTimer::start_system_timer() {
    unsigned id = mm::setEvent(m_interval, 0, &CTimer::system_callback, this, !m_oneshot);
    if (!id)
        return false;
    lock();
    m_id = id;
    m_lastId = id;
    m_lock.leave();
    return true;
}

bool CTimer::stop_system_timer() {
    lock();
    unsigned id = m_id;
    m_id = 0;
    m_lock.leave();
    if (!id)
        return true;
    // A pending one-shot event is cancelled as well, so it never fires on a
    // timer that is gone; one that already fired counts as stopped.
    return mm::killEvent(id) || m_oneshot;
}

void CTimer::system_callback(unsigned, void* user) {
    auto* timer = static_cast<CTimer*>(user);
    timer->lock();
    if (timer->m_killed) {
        // Killed from another thread, which frees the timer.
        timer->m_lock.leave();
        return;
    }
    timer->m_inCallback = true;
    timer->timer_event();
    timer->m_inCallback = false;
    const bool killedInside = timer->m_killed;
    if (timer->m_oneshot && !killedInside) {
        timer->m_id = 0;
        timer->m_running = false;
    }
    timer->m_lock.leave();
    if (killedInside)
        delete timer;
}

bool CTimer::test_run(const char* name, unsigned seconds) {
    std::cerr << "starting timer " << name;
    if (!start()) {
        std::cerr << "... ERROR - " << get_state() << "\n";
        return false;
    }
    std::cerr << "... OK\n";
    CSystem::msleep(seconds * 1000);
    std::cerr << "stopping timer " << name;
    if (!stop()) {
        std::cerr << "... ERROR - " << get_state() << "\n";
        return false;
    }
    std::cerr << "... OK\n";
    return true;
}

namespace {

struct TestCounter {
    orvane::morrane::CMutex lock;
    int count = 0;
    int read() {
        orvane::morrane::CMutexLock guard(lock);
        return count;
    }
};

void count_call(void* argument) {
    auto* counter = static_cast<TestCounter*>(argument);
    orvane::morrane::CMutexLock guard(counter->lock);
    ++counter->count;
}

} // namespace

bool CTimer::test() {
    TestCounter counter;
    std::cerr << "creating a timer ";
    auto* timer = new CTimer;
    if (timer->get_state() != eReady) {
        std::cerr << "... ERROR - " << timer->get_state() << "\n";
        delete timer;
        return false;
    }
    std::cerr << "... OK\n";
    timer->set_call_back(&count_call, &counter);
    timer->set_interval(1000);

    struct Run {
        const char* name;
        bool oneshot;
        unsigned seconds;
        int expected;
    };
    const Run runs[] = {{"pereodic", false, 3, 3}, {"one-shot", true, 2, 1}};
    bool ok = true;
    for (const Run& run : runs) {
        {
            orvane::morrane::CMutexLock guard(counter.lock);
            counter.count = 0;
        }
        timer->set_oneshot(run.oneshot);
        if (!timer->test_run(run.name, run.seconds)) {
            ok = false;
            break;
        }
        int count = counter.read();
        if (count != run.expected) {
            std::cerr << "timer expired " << count << " instead of " << run.expected << "\n";
            // A tick at the very end of the sleep may fall either side of it.
            if (count < run.expected - 1 || count > run.expected)
                ok = false;
        }
    }
    std::cerr << "destroying timer ";
    timer->killTimer();
    std::cerr << "... OK\n";
    return ok;
}
