// SIGTERM, SIGINT and SIGHUP end the client through its event loop, so that its exit steps
// run (the single-instance files go, the trace log closes) instead of the process dying
// where it stands. The handler only writes the signal's number to a pipe; a notifier reads
// it on the GUI thread and calls the owner. One object at a time; the handlers it replaced
// come back with its end.
#pragma once

#include <QObject>

#include <array>
#include <csignal>
#include <functional>

class QSocketNotifier;

class CQuitSignals : public QObject {
    Q_OBJECT

public:
    static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

    explicit CQuitSignals(std::function<void(int signal)> onSignal);
    ~CQuitSignals() override;
    CQuitSignals(const CQuitSignals&) = delete;
    CQuitSignals& operator=(const CQuitSignals&) = delete;

    // False when the pipe or a handler could not be set up (the signals then end the
    // process as they would without this object).
    bool IsInstalled() const { return m_bInstalled; }

private:
    static void Handler(int signal);
    void OnReadable();

    std::function<void(int)> m_onSignal;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    std::array<struct sigaction, kSignals.size()> m_previous{};
    bool m_bInstalled = false;
};
