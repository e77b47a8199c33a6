// The engine's periodic timer (the one-second tick while an emulation plays), on a timerfd
// of its own. Ticks missed while the loop was busy are folded into one call.
#pragma once

#include "ControlSocket/FdWatcher.h"

#include <cstdint>

namespace quellin::os {

class PeriodicTimer {
public:
    using Callback = void (*)(void* context);

    // Throws std::system_error when the timerfd cannot be made or watched.
    explicit PeriodicTimer(ctlsock::FdWatcher& watcher);
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Calls callback(context) every period_ms from now on; restarts a running timer.
    // A period of 0 stops it.
    void start(uint32_t period_ms, Callback callback, void* context);
    void stop();
    bool running() const { return m_period_ms != 0; }
    uint32_t period_ms() const { return m_period_ms; }

private:
    void on_ready();

    ctlsock::FdWatcher& m_watcher;
    int m_fd = -1;
    uint32_t m_period_ms = 0;
    Callback m_callback = nullptr;
    void* m_context = nullptr;
};

} // namespace quellin::os
