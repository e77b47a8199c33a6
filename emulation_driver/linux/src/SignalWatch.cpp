#include "QuellinLinux/SignalWatch.h"

#include <cerrno>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace quellin::os {

sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    // Those that a fault raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT)
    // cannot be served later: the next start gives back what such an end left.
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU,
                  SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT})
        sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        sigaddset(&set, s);
    return set;
}

void block_stop_signals() {
    const sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SignalWatch::ignore_further() {
    const sigset_t set = stop_signals();
    for (int s = 1; s < NSIG; ++s)
        if (sigismember(&set, s) == 1)
            std::signal(s, SIG_IGN);
}

SignalWatch::SignalWatch(ctlsock::FdWatcher& watcher, std::function<void(int)> handler)
    : m_watcher(watcher), m_handler(std::move(handler)) {
    const sigset_t set = stop_signals();
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
    const sigset_t set = stop_signals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void SignalWatch::on_ready() {
    signalfd_siginfo info;
    while (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        // The kernel raises these for the writer itself, as sent by the process.
        const int signo = static_cast<int>(info.ssi_signo);
        const bool ownWrite = (signo == SIGPIPE || signo == SIGXFSZ) && info.ssi_code == SI_USER &&
                              static_cast<pid_t>(info.ssi_pid) == ::getpid();
        if (!ownWrite && m_handler)
            m_handler(signo);
    }
}

} // namespace quellin::os
