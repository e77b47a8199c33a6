// How long a window takes to answer input while the client waits on a peer: a thread of
// the probe's own posts an event to the window every 20 ms, and the window's event filter
// notes how long each took to be handled. A GUI thread held by a network wait handles
// none of them until the wait ends.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace guitest {

class ResponsivenessProbe : public QObject {
public:
    explicit ResponsivenessProbe(QObject* window) : m_window(window) {
        m_window->installEventFilter(this);
        m_thread = std::thread([this] {
            while (!m_stop) {
                QCoreApplication::postEvent(m_window, new Stamped(Clock::now()));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~ResponsivenessProbe() override {
        Stop();
        m_window->removeEventFilter(this);
        // Events still posted go with the window or are handled here without a sample.
        QCoreApplication::removePostedEvents(m_window, kType);
    }
    ResponsivenessProbe(const ResponsivenessProbe&) = delete;
    ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // The longest wait of an event handled so far, in ms; -1 before the first.
    long long LongestMs() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_samples.empty())
            return -1;
        return *std::max_element(m_samples.begin(), m_samples.end());
    }
    // The wait that this share of the events handled so far did not pass, in ms; -1 before
    // the first. A loaded machine stalls a thread now and then; a network wait on the GUI
    // thread holds every event posted meanwhile.
    long long PercentileMs(double share) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_samples.empty())
            return -1;
        std::vector<long long> sorted = m_samples;
        std::sort(sorted.begin(), sorted.end());
        const size_t at = std::min(sorted.size() - 1, static_cast<size_t>(share * sorted.size()));
        return sorted[at];
    }
    size_t Samples() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_samples.size();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == kType) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                Clock::now() - static_cast<Stamped*>(event)->posted);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_samples.push_back(waited.count());
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 351);
    struct Stamped : QEvent {
        explicit Stamped(Clock::time_point at) : QEvent(kType), posted(at) {}
        Clock::time_point posted;
    };

    QObject* m_window;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<long long> m_samples;
};

} // namespace guitest
