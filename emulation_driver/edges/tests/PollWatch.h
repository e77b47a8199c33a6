// The loop the daemon would run, for tests of the edges: poll() over the watched
// descriptors, dispatched on the test's thread.
#pragma once

#include "QuellinEdges/Edges.h"

#include <chrono>
#include <functional>
#include <map>
#include <poll.h>
#include <vector>

namespace quellin::edges_test {

using namespace quellin::edges;

class PollWatch final : public FdWatch {
public:
    bool watch(int fd, std::function<void()> ready) override {
        m_handlers[fd] = std::move(ready);
        return true;
    }
    void unwatch(int fd) override { m_handlers.erase(fd); }
    size_t watched() const { return m_handlers.size(); }

    // Dispatches until `done` holds or `ms` passed; the result of `done` at the end.
    bool run_until(const std::function<bool()>& done, int ms = 3000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::vector<pollfd> fds;
            for (const auto& [fd, h] : m_handlers)
                fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (const auto& p : fds) {
                auto it = m_handlers.find(p.fd);
                if (p.revents && it != m_handlers.end()) {
                    auto handler = it->second; // may unwatch itself
                    handler();
                }
            }
        }
        return true;
    }
    void pump(int ms) {
        run_until([] { return false; }, ms);
    }

private:
    std::map<int, std::function<void()>> m_handlers;
};

} // namespace quellin::edges_test
