#include "platform/MMTimer.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace platform::mmtimer {

namespace {

thread_local bool t_dispatcher = false;

constexpr unsigned kPeriodMin = 1;
constexpr unsigned kPeriodMax = 1000000;
// Expirations that one wake-up catches up with at most (after a stall).
constexpr uint64_t kMaxCatchUp = 16;

struct Timer {
    int fd = -1;
    TimerCallback callback = nullptr;
    void* user = nullptr;
    bool periodic = false;
};

class Dispatcher {
public:
    static Dispatcher& instance() {
        // Leaked: timers may be killed from static destructors of other units.
        static Dispatcher* d = new Dispatcher;
        return *d;
    }

    unsigned add(unsigned delayMs, TimerCallback callback, void* user, bool periodic) {
        std::unique_lock lock(m_mutex);
        if (!ensure_thread())
            return 0;
        int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd < 0)
            return 0;
        itimerspec spec{};
        spec.it_value.tv_sec = delayMs / 1000;
        spec.it_value.tv_nsec = static_cast<long>(delayMs % 1000) * 1000000L;
        if (periodic)
            spec.it_interval = spec.it_value;
        unsigned id = next_id();
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = id;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0 ||
            ::timerfd_settime(fd, 0, &spec, nullptr) != 0) {
            ::close(fd);
            return 0;
        }
        m_timers[id] = Timer{fd, callback, user, periodic};
        return id;
    }

    bool kill(unsigned id) {
        std::unique_lock lock(m_mutex);
        bool known = remove_locked(id);
        if (!t_dispatcher)
            m_idle.wait(lock, [&] { return m_running != id; });
        return known || id == m_running;
    }

private:
    Dispatcher() = default;

    unsigned next_id() {
        // Skips 0 and identifiers still in use.
        do {
            ++m_lastId;
        } while (m_lastId == 0 || m_timers.count(m_lastId));
        return m_lastId;
    }

    bool ensure_thread() {
        if (m_started)
            return true;
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0)
            return false;
        std::thread([this] {
            t_dispatcher = true;
            run();
        }).detach();
        m_started = true;
        return true;
    }

    bool remove_locked(unsigned id) {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return false;
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
        ::close(it->second.fd);
        m_timers.erase(it);
        return true;
    }

    void run() {
        epoll_event events[32];
        for (;;) {
            int n = ::epoll_wait(m_epoll, events, 32, -1);
            for (int i = 0; i < n; ++i)
                dispatch(events[i].data.u32);
        }
    }

    void dispatch(unsigned id) {
        std::unique_lock lock(m_mutex);
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        uint64_t expirations = 0;
        if (::read(it->second.fd, &expirations, sizeof expirations) != sizeof expirations)
            return;
        Timer timer = it->second;
        if (!timer.periodic) {
            remove_locked(id);
            expirations = 1;
        }
        expirations = std::min(expirations, kMaxCatchUp);
        m_running = id;
        for (uint64_t k = 0; k < expirations; ++k) {
            lock.unlock();
            timer.callback(id, timer.user);
            lock.lock();
            if (timer.periodic && !m_timers.count(id))
                break;
        }
        m_running = 0;
        m_idle.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::map<unsigned, Timer> m_timers;
    unsigned m_lastId = 0;
    unsigned m_running = 0;
    int m_epoll = -1;
    bool m_started = false;
};

} // namespace

bool getDevCaps(TimerCaps& caps) {
    caps.periodMin = kPeriodMin;
    caps.periodMax = kPeriodMax;
    return true;
}

bool beginPeriod(unsigned ms) {
    return ms >= kPeriodMin && ms <= kPeriodMax;
}

bool endPeriod(unsigned ms) {
    return ms >= kPeriodMin && ms <= kPeriodMax;
}

unsigned setEvent(unsigned delayMs, unsigned /*resolutionMs*/, TimerCallback callback, void* user,
                  bool periodic) {
    if (!callback || delayMs < kPeriodMin || delayMs > kPeriodMax)
        return 0;
    return Dispatcher::instance().add(delayMs, callback, user, periodic);
}

bool killEvent(unsigned id) {
    return id != 0 && Dispatcher::instance().kill(id);
}

bool isDispatcherThread() {
    return t_dispatcher;
}

} // namespace platform::mmtimer
