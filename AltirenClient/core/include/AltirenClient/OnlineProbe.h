// The on-line probe of the management server: does a server answer HTTP at
// AltirenServerIP? Each probe runs on a thread of its own and is waited for at most
// CommunicationTimeout ms; one still running then counts as off-line. The outcome sets
// the client's server-online flag (ClientState).
//
// No probe thread is ever killed: its HTTP request is bounded by the same time-out and
// ends it. A forced probe abandons the one under way, whose late result is ignored (a
// generation number tells them apart). The probe state is process-wide and guarded; at
// exit the client waits a bounded time for the probes still out.
#pragma once

#include <chrono>
#include <cstddef>

class COnlineProbe {
public:
    // One probe, waited for on the calling thread. With force a probe under way is
    // abandoned; without, nothing happens while one is busy.
    static void SetIsServerOnline(bool force);
    // The on-line timer's procedure: nothing while on-line; otherwise a thread of its own
    // runs SetIsServerOnline(false), so the caller never waits.
    static void IsServerOnlineTimerHandler();
    // The probe's request: true when a server answers "http://<AltirenServerIP>" within
    // timeoutMs (with any HTTP status).
    static bool IsAltirenServerOnline(unsigned long timeoutMs);

    // Waits up to timeout for the probe threads and the timer's waiting threads to end;
    // false when some still run.
    static bool WaitForOutstandingProbes(std::chrono::milliseconds timeout);
    static size_t OutstandingProbes();
};
