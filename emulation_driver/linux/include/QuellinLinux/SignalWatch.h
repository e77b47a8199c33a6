// Termination signals delivered to the event loop: SIGTERM and SIGINT are blocked for the
// process (create this before any other thread) and read from a signalfd on the loop.
#pragma once

#include "ControlSocket/FdWatcher.h"

#include <functional>

namespace quellin::os {

class SignalWatch {
public:
    // Throws std::system_error when the signalfd cannot be made or watched.
    SignalWatch(ctlsock::FdWatcher& watcher, std::function<void(int signal)> handler);
    ~SignalWatch(); // unblocks the signals again
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    void on_ready();

    ctlsock::FdWatcher& m_watcher;
    std::function<void(int)> m_handler;
    int m_fd = -1;
};

} // namespace quellin::os
