#include "AltirenClient/OnlineProbe.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"

#include "AltirenClient/ClientTrace.h"

#include <OrvaneUtils/HttpServices.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr const char* kClass = "COnlineProbe";

struct ProbeState {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t generation = 0; // of the probe that decides
    bool busy = false;       // that probe has not decided yet
    size_t outstanding = 0;  // threads started and not ended
};

// Never freed: a probe thread may still end after the process began to exit.
ProbeState& State() {
    static ProbeState* state = new ProbeState;
    return *state;
}

struct ProbeResult {
    bool done = false;
    bool online = false;
};

// Runs work on a thread of its own, counted as outstanding until it has ended; false when
// no thread could be made.
bool StartCounted(std::function<void()> work) {
    ProbeState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.outstanding;
    }
    try {
        std::thread([work = std::move(work)] {
            work();
            ProbeState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            --state.outstanding;
            state.changed.notify_all();
        }).detach();
        return true;
    } catch (const std::exception&) {
        std::lock_guard<std::mutex> lock(state.mutex);
        --state.outstanding;
        state.changed.notify_all();
        return false;
    }
}

} // namespace

bool COnlineProbe::IsAltirenServerOnline(unsigned long timeoutMs) {
    std::string server;
    if (!CClientSettings().bGetServerIP(server, false)) {
        CLIENT_TRACE(CSTrace::eInformation, "Failed to get server IP", kClass);
        return false;
    }
    CHttpServices http("Mozilla/4.0");
    http.SetTimeout(timeoutMs);
    if (!http.IsOnline("http://" + server)) {
        CLIENT_TRACE(CSTrace::eInformation, "Working in offline mode", kClass);
        return false;
    }
    return true;
}

void COnlineProbe::SetIsServerOnline(bool force) {
    ProbeState& state = State();
    uint64_t mine = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.busy && !force)
            return;
        // A newer generation makes an older probe's waiter stop and ignore its result.
        mine = ++state.generation;
        state.busy = true;
    }
    const unsigned long limit = CClientSettings().GetCommunicationTimeout();
    auto result = std::make_shared<ProbeResult>();
    const bool started = StartCounted([result, limit] {
        const bool online = IsAltirenServerOnline(limit);
        CLIENT_TRACE(CSTrace::eInformation, online ? "Server is online" : "Server is offline",
                     kClass);
        ProbeState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        result->online = online;
        result->done = true;
        state.changed.notify_all();
    });

    std::unique_lock<std::mutex> lock(state.mutex);
    if (started)
        state.changed.wait_for(lock, std::chrono::milliseconds(limit),
                               [&] { return result->done || state.generation != mine; });
    if (state.generation != mine)
        return; // abandoned by a forced probe: that one decides
    // A probe still running at the limit counts as off-line.
    ClientState::SetServerOnline(result->done && result->online);
    state.busy = false;
}

void COnlineProbe::IsServerOnlineTimerHandler() {
    if (ClientState::IsServerOnline()) {
        CLIENT_TRACE(CSTrace::eInformation,
                     "Server is online --> no need to check online/offline state", kClass);
        return;
    }
    if (!StartCounted([] { SetIsServerOnline(false); }))
        CLIENT_TRACE(CSTrace::eError, "Cannot start the online probe", kClass);
}

bool COnlineProbe::WaitForOutstandingProbes(std::chrono::milliseconds timeout) {
    ProbeState& state = State();
    std::unique_lock<std::mutex> lock(state.mutex);
    return state.changed.wait_for(lock, timeout, [&] { return state.outstanding == 0; });
}

size_t COnlineProbe::OutstandingProbes() {
    ProbeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.outstanding;
}
