// The engine thread's event loop: epoll over the control socket, the edges' sockets and
// the timers. Everything it dispatches runs on the thread that calls run().
#pragma once

#include "ControlSocket/FdWatcher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct epoll_event;

namespace quellin::os {

class EventLoop final : public ctlsock::FdWatcher {
public:
    EventLoop(); // throws std::system_error when epoll or its wake-up fd cannot be made
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    bool watch(int fd, uint32_t events, Handler handler) override;
    bool change(int fd, uint32_t events) override;
    void unwatch(int fd) override;

    // Dispatches events and posted tasks until stop().
    void run();
    // Waits up to timeout_ms (< 0: for ever) and dispatches what arrived; gives the number
    // of fd events handled.
    int run_once(int timeout_ms);

    // The events of `fd` run after those of every other descriptor of the same wake-up
    // (the timers after the edges' batches), and `fn` after all of them.
    void run_last(int fd);
    void after_each_wake(std::function<void()> fn) { m_afterWake = std::move(fn); }
    // `before` and `after` run around every handler the loop calls.
    void around_each_dispatch(std::function<void()> before, std::function<void()> after) {
        m_beforeDispatch = std::move(before);
        m_afterDispatch = std::move(after);
    }

    // May be called from any thread or a signal-free context: run() returns soon.
    void stop();
    bool stopped() const { return m_stop.load(); }
    // May be called from any thread: fn runs on the loop thread.
    void post(std::function<void()> fn);

private:
    struct Watch {
        int fd;
        std::shared_ptr<Handler> handler;
    };
    void wake();
    void run_posted();
    bool dispatch(const epoll_event& event);

    int m_epoll = -1;
    int m_wake = -1;
    std::atomic<bool> m_stop{false};
    uint64_t m_next_key = 1;
    std::map<uint64_t, Watch> m_watches; // registration key -> watch
    std::map<int, uint64_t> m_keys;      // fd -> registration key
    std::vector<int> m_last;             // descriptors whose events run last
    std::function<void()> m_afterWake;
    std::function<void()> m_beforeDispatch;
    std::function<void()> m_afterDispatch;
    std::mutex m_posted_mutex;
    std::vector<std::function<void()>> m_posted;
};

} // namespace quellin::os
