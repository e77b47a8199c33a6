#include "AltirenClient/ServerRequest.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace ServerRequest {

namespace {

struct Threads {
    std::mutex mutex;
    std::condition_variable changed;
    size_t outstanding = 0;
};

// Never freed: a request thread may still end after the process began to exit.
Threads& Counted() {
    static Threads* threads = new Threads;
    return *threads;
}

// The object the answers are posted to. It lives on the GUI thread for the life of the
// process, so that a worker never posts to a receiver that the GUI thread may be
// destroying; whether the receiver still lives is asked there.
QObject* Relay() {
    static QObject* relay = [] {
        auto* object = new QObject;
        if (QCoreApplication* app = QCoreApplication::instance())
            object->moveToThread(app->thread());
        return object;
    }();
    return relay;
}

// Held by the worker while it posts an answer and by the GUI thread before it reads one:
// Qt's own hand-over of the posted call is the real one, this makes it visible to the
// thread checker, which does not see inside Qt.
std::mutex& HandOver() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

void Deliver(const std::shared_ptr<State>& state, std::function<void()> answer) {
    std::lock_guard<std::mutex> posting(HandOver());
    QMetaObject::invokeMethod(
        Relay(),
        [state, answer = std::move(answer)] {
            { std::lock_guard<std::mutex> taken(HandOver()); }
            if (state->cancelled || !state->receiver)
                return;
            state->answered = true;
            if (answer)
                answer();
        },
        Qt::QueuedConnection);
}

} // namespace

void Handle::Cancel() {
    if (m_state && !m_state->answered)
        m_state->cancelled = true;
}

bool Handle::IsRunning() const {
    return m_state && !m_state->answered && !m_state->cancelled;
}

Handle Start(QObject* receiver, std::function<std::function<void()>(const std::atomic<bool>&)> work,
             std::function<void()> failed) {
    auto state = std::make_shared<State>();
    state->receiver = receiver;
    Relay();
    Threads& threads = Counted();
    {
        std::lock_guard<std::mutex> lock(threads.mutex);
        ++threads.outstanding;
    }
    try {
        std::thread([state, work = std::move(work), failed] {
            std::function<void()> answer;
            try {
                answer = work(state->cancelled);
            } catch (...) {
                answer = failed;
            }
            if (!state->cancelled)
                Deliver(state, std::move(answer));
            Threads& threads = Counted();
            std::lock_guard<std::mutex> lock(threads.mutex);
            --threads.outstanding;
            threads.changed.notify_all();
        }).detach();
    } catch (const std::exception&) {
        {
            std::lock_guard<std::mutex> lock(threads.mutex);
            --threads.outstanding;
            threads.changed.notify_all();
        }
        Deliver(state, std::move(failed));
    }
    return Handle(state);
}

size_t Outstanding() {
    Threads& threads = Counted();
    std::lock_guard<std::mutex> lock(threads.mutex);
    return threads.outstanding;
}

bool WaitForOutstanding(std::chrono::milliseconds timeout) {
    Threads& threads = Counted();
    std::unique_lock<std::mutex> lock(threads.mutex);
    return threads.changed.wait_for(lock, timeout, [&] { return threads.outstanding == 0; });
}

} // namespace ServerRequest
