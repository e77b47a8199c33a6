#include "QuellinLinux/SignalWatch.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::os {

namespace {
sigset_t termination_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}
} // namespace

SignalWatch::SignalWatch(ctlsock::FdWatcher& watcher, std::function<void(int)> handler)
    : m_watcher(watcher), m_handler(std::move(handler)) {
    sigset_t set = termination_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "signalfd");
    if (!m_watcher.watch(m_fd, EPOLLIN, [this](uint32_t) { on_ready(); })) {
        ::close(m_fd);
        throw std::system_error(EINVAL, std::generic_category(), "cannot watch the signalfd");
    }
}

SignalWatch::~SignalWatch() {
    m_watcher.unwatch(m_fd);
    ::close(m_fd);
    sigset_t set = termination_signals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void SignalWatch::on_ready() {
    signalfd_siginfo info;
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        if (m_handler)
            m_handler(static_cast<int>(info.ssi_signo));
}

} // namespace quellin::os
