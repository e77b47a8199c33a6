// A wait for the management server that a decision cannot go on without (an account
// change): the request runs off the GUI thread (ServerRequest) while the event loop goes
// on; after a moment a box over the active window says that the client waits and offers
// Cancel. User input meanwhile goes to the box only.
#pragma once

#include "AltirenClient/ServerRequest.h"

#include <QDialog>

#include <functional>
#include <optional>

class QPushButton;

class CServerWaitBox : public QDialog {
    Q_OBJECT

public:
    // The box shows once the request has taken this long.
    static constexpr int kShowAfterMs = 300;

    explicit CServerWaitBox(QWidget* parent = nullptr);

    // Runs work off the GUI thread and waits for its answer: nullopt when the user
    // cancelled. Without an application object the work runs on the calling thread (there
    // is no window to keep answering).
    template <typename Result>
    static std::optional<Result> Wait(std::function<Result(const std::atomic<bool>&)> work) {
        std::optional<Result> result;
        if (!HasEventLoop()) {
            const std::atomic<bool> never{false};
            result = work(never);
            return result;
        }
        const bool answered =
            WaitFor([&result, &work](std::function<void()> done, QObject* receiver) {
                return ServerRequest::Run<Result>(receiver, std::move(work),
                                                  [&result, done](Result value) {
                                                      result = std::move(value);
                                                      done();
                                                  });
            });
        if (!answered)
            result.reset();
        return result;
    }

private:
    static bool HasEventLoop();
    // Starts the request through start (done to be called with the answer) and waits;
    // false when cancelled.
    static bool WaitFor(const std::function<ServerRequest::Handle(std::function<void()> done,
                                                                  QObject* receiver)>& start);

    QPushButton* m_cancel = nullptr;
};
