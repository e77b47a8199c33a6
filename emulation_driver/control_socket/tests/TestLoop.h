// A small epoll loop on a thread of its own for the control socket tests: the server
// lives on it, tests hand it work with run().
#pragma once

#include "ControlSocket/FdWatcher.h"

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quellin::ctlsock::testing {

class TestLoop final : public FdWatcher {
public:
    TestLoop() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_NONBLOCK)) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = m_wake;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev);
        m_thread = std::thread([this] { loop(); });
    }
    ~TestLoop() override {
        m_stop = true;
        uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
        m_thread.join();
        ::close(m_wake);
        ::close(m_epoll);
    }

    // Runs fn on the loop thread and waits for its result.
    template <typename F>
    auto run(F fn) -> decltype(fn()) {
        auto task = std::make_shared<std::packaged_task<decltype(fn())()>>(std::move(fn));
        auto result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back([task] { (*task)(); });
        }
        uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
        return result.get();
    }

    bool watch(int fd, uint32_t events, Handler handler) override {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
            return false;
        m_handlers[fd] = std::make_shared<Handler>(std::move(handler));
        return true;
    }
    bool change(int fd, uint32_t events) override {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        return ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &ev) == 0;
    }
    void unwatch(int fd) override {
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        m_handlers.erase(fd);
    }

private:
    void loop() {
        epoll_event events[16];
        while (!m_stop) {
            int n = ::epoll_wait(m_epoll, events, 16, 50);
            for (int i = 0; i < n; ++i) {
                int fd = events[i].data.fd;
                if (fd == m_wake) {
                    uint64_t count;
                    (void)!::read(m_wake, &count, sizeof count);
                    continue;
                }
                auto it = m_handlers.find(fd);
                if (it != m_handlers.end()) {
                    auto handler = it->second; // survives an unwatch inside the call
                    (*handler)(events[i].events);
                }
            }
            std::vector<std::function<void()>> tasks;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                tasks.swap(m_tasks);
            }
            for (auto& task : tasks)
                task();
        }
    }

    int m_epoll;
    int m_wake;
    std::atomic<bool> m_stop{false};
    std::map<int, std::shared_ptr<Handler>> m_handlers;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_tasks;
    std::thread m_thread;
};

} // namespace quellin::ctlsock::testing
