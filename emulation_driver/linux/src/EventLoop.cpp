#include "QuellinLinux/EventLoop.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::os {

namespace {
constexpr uint64_t kWakeKey = 0;
constexpr int kMaxEvents = 64;
} // namespace

EventLoop::EventLoop() {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0)
        throw std::system_error(errno, std::generic_category(), "epoll_create1");
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wake < 0) {
        int saved = errno;
        ::close(m_epoll);
        throw std::system_error(saved, std::generic_category(), "eventfd");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeKey;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev);
}

EventLoop::~EventLoop() {
    ::close(m_wake);
    ::close(m_epoll);
}

bool EventLoop::watch(int fd, uint32_t events, Handler handler) {
    if (fd < 0 || m_keys.count(fd))
        return false;
    const uint64_t key = m_next_key++;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = key;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
        return false;
    m_watches.emplace(key, Watch{fd, std::make_shared<Handler>(std::move(handler))});
    m_keys.emplace(fd, key);
    return true;
}

bool EventLoop::change(int fd, uint32_t events) {
    auto it = m_keys.find(fd);
    if (it == m_keys.end())
        return false;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = it->second;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &ev) == 0;
}

void EventLoop::unwatch(int fd) {
    auto it = m_keys.find(fd);
    if (it == m_keys.end())
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_watches.erase(it->second);
    m_keys.erase(it);
}

void EventLoop::run() {
    while (!m_stop.load())
        run_once(-1);
}

int EventLoop::run_once(int timeout_ms) {
    epoll_event events[kMaxEvents];
    const int n = ::epoll_wait(m_epoll, events, kMaxEvents, timeout_ms);
    int handled = 0;
    int last[kMaxEvents];
    int deferred = 0;
    for (int i = 0; i < n; ++i) {
        const auto it = m_watches.find(events[i].data.u64);
        if (it != m_watches.end() &&
            std::find(m_last.begin(), m_last.end(), it->second.fd) != m_last.end())
            last[deferred++] = i;
        else
            handled += dispatch(events[i]) ? 1 : 0;
    }
    for (int i = 0; i < deferred; ++i)
        handled += dispatch(events[last[i]]) ? 1 : 0;
    run_posted();
    if (m_afterWake)
        m_afterWake();
    return handled;
}

bool EventLoop::dispatch(const epoll_event& event) {
    const uint64_t key = event.data.u64;
    if (key == kWakeKey) {
        uint64_t count;
        (void)!::read(m_wake, &count, sizeof count);
        return false;
    }
    // A handler earlier in this batch may have unwatched this one: its key is gone, and a
    // new watch on the same fd has a new key.
    auto it = m_watches.find(key);
    if (it == m_watches.end())
        return false;
    std::shared_ptr<Handler> handler = it->second.handler;
    if (m_beforeDispatch)
        m_beforeDispatch();
    (*handler)(event.events);
    if (m_afterDispatch)
        m_afterDispatch();
    return true;
}

void EventLoop::run_last(int fd) {
    if (std::find(m_last.begin(), m_last.end(), fd) == m_last.end())
        m_last.push_back(fd);
}

void EventLoop::stop() {
    m_stop.store(true);
    wake();
}

void EventLoop::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(m_posted_mutex);
        m_posted.push_back(std::move(fn));
    }
    wake();
}

void EventLoop::wake() {
    uint64_t one = 1;
    (void)!::write(m_wake, &one, sizeof one);
}

void EventLoop::run_posted() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(m_posted_mutex);
        tasks.swap(m_posted);
    }
    for (auto& task : tasks)
        task();
}

} // namespace quellin::os
