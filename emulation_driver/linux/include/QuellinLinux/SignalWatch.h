// Stop signals delivered to the event loop: every catchable signal whose default action
// ends the process (SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, ..., the real-time
// ones) is blocked for the process (create this before any other thread) and read from a
// signalfd on the loop, so that any of them ends the daemon through its clean stop. A
// SIGPIPE or SIGXFSZ the process raised itself (a write to a closed log, or beyond the file
// size limit) only fails that write and is not passed on.
#pragma once

#include "ControlSocket/FdWatcher.h"

#include <csignal>
#include <functional>

namespace quellin::os {

// The signals SignalWatch takes.
sigset_t stop_signals();
// Blocks them on the calling thread, for the time before a SignalWatch is made: what
// arrives then waits for it.
void block_stop_signals();

class SignalWatch {
public:
    // Throws std::system_error when the signalfd cannot be made or watched.
    SignalWatch(ctlsock::FdWatcher& watcher, std::function<void(int signal)> handler);
    ~SignalWatch(); // unblocks the signals again
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Once the stop has run: the stop signals that arrive from now on (a group and its
    // leader are often both signalled), and those still waiting, end nothing when the
    // signals are unblocked.
    static void ignore_further();

private:
    void on_ready();

    ctlsock::FdWatcher& m_watcher;
    std::function<void(int)> m_handler;
    int m_fd = -1;
};

} // namespace quellin::os
