#include "QuellinLinux/PeriodicTimer.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::os {

PeriodicTimer::PeriodicTimer(ctlsock::FdWatcher& watcher) : m_watcher(watcher) {
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "timerfd_create");
    if (!m_watcher.watch(m_fd, EPOLLIN, [this](uint32_t) { on_ready(); })) {
        ::close(m_fd);
        throw std::system_error(EINVAL, std::generic_category(), "cannot watch the timerfd");
    }
}

PeriodicTimer::~PeriodicTimer() {
    m_watcher.unwatch(m_fd);
    ::close(m_fd);
}

void PeriodicTimer::start(uint32_t period_ms, Callback callback, void* context) {
    if (period_ms == 0 || !callback) {
        stop();
        return;
    }
    m_callback = callback;
    m_context = context;
    m_period_ms = period_ms;
    itimerspec spec{};
    spec.it_interval.tv_sec = period_ms / 1000;
    spec.it_interval.tv_nsec = static_cast<long>(period_ms % 1000) * 1000000L;
    spec.it_value = spec.it_interval;
    ::timerfd_settime(m_fd, 0, &spec, nullptr);
}

void PeriodicTimer::stop() {
    m_period_ms = 0;
    itimerspec spec{};
    ::timerfd_settime(m_fd, 0, &spec, nullptr);
    uint64_t expirations;
    (void)!::read(m_fd, &expirations, sizeof expirations); // drop a tick already due
}

void PeriodicTimer::on_ready() {
    uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations || expirations == 0)
        return;
    if (m_period_ms != 0 && m_callback)
        m_callback(m_context);
}

} // namespace quellin::os
