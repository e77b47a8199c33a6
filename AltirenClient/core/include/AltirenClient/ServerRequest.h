// A request of a window to the management server (a page, an image, a scenario file, the
// presets, an account change, a report) run on a thread of its own, so that the GUI
// thread never waits on the network. The answer comes back on the GUI thread through a
// queued call, and only to a receiver that still lives; a cancelled request answers
// nothing. The work gets a flag that turns true on cancel, which a transfer reads to end
// early (ServerRequest::CancelObserver).
//
// The work runs on another thread: it takes copies of what it needs and touches no
// widget, no model and nothing the GUI thread changes.
#pragma once

#include <OrvaneUtils/HTTPRequestObserver.h>

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

namespace ServerRequest {

struct State {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> answered{false};
    QPointer<QObject> receiver; // read on the GUI thread only
};

// One request as its starter holds it.
class Handle {
public:
    Handle() = default;
    explicit Handle(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    // Drops the answer and asks the work to stop; nothing happens once it was answered.
    void Cancel();
    // Started, neither answered nor cancelled.
    bool IsRunning() const;

private:
    std::shared_ptr<State> m_state;
};

// Runs work on a thread of its own; its result is later handed to answer on the thread
// that runs the application's event loop (a default Result when the work threw), unless
// receiver has gone or the request was
// cancelled. Call from the GUI thread. Work that throws, or for which no thread can be
// made, answers with failed instead.
Handle Start(QObject* receiver, std::function<std::function<void()>(const std::atomic<bool>&)> work,
             std::function<void()> failed);

template <typename Result>
Handle Run(QObject* receiver, std::function<Result(const std::atomic<bool>& cancelled)> work,
           std::function<void(Result)> answer) {
    return Start(
        receiver,
        [work = std::move(work), answer](const std::atomic<bool>& cancelled) {
            auto result = std::make_shared<Result>(work(cancelled));
            return std::function<void()>([answer, result] { answer(std::move(*result)); });
        },
        [answer] { answer(Result{}); });
}

// Requests whose thread has not ended yet (a cancelled one runs until its transfer ends).
size_t Outstanding();
// Waits up to timeout for every request thread to end; false when some still run.
bool WaitForOutstanding(std::chrono::milliseconds timeout);

// Abandons a transfer once the flag is set (the library asks while it runs).
class CancelObserver : public CHTTPRequestObserver {
public:
    explicit CancelObserver(const std::atomic<bool>* cancelled) : m_cancelled(cancelled) {}
    bool ContinueRequest() override { return !m_cancelled || !m_cancelled->load(); }

private:
    const std::atomic<bool>* m_cancelled;
};

} // namespace ServerRequest
