#include "AltirenApp/QuitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// The write end of the installed object's pipe, for the handler.
std::atomic<int> g_writeFd{-1};
} // namespace

CQuitSignals::CQuitSignals(std::function<void(int)> onSignal) : m_onSignal(std::move(onSignal)) {
    if (g_writeFd.load() >= 0 || ::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeFd.store(m_pipe[1]);
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CQuitSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = &CQuitSignals::Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_bInstalled = true;
    for (size_t i = 0; i < kSignals.size(); ++i)
        m_bInstalled = ::sigaction(kSignals[i], &action, &m_previous[i]) == 0 && m_bInstalled;
}

CQuitSignals::~CQuitSignals() {
    if (m_pipe[1] < 0)
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeFd.store(-1);
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void CQuitSignals::Handler(int signal) {
    const int saved = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = saved;
}

void CQuitSignals::OnReadable() {
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        if (m_onSignal)
            m_onSignal(number);
}
