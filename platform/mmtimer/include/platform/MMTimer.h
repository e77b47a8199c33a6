// Multimedia timers: periodic or one-shot callbacks with millisecond intervals,
// all run on one dispatcher thread of the process.
#pragma once

namespace platform::mmtimer {

// Called on the dispatcher thread with the timer's identifier and user data.
using TimerCallback = void (*)(unsigned id, void* user);

struct TimerCaps {
    unsigned periodMin; // ms
    unsigned periodMax; // ms
};

// The resolution limits of the timers (always succeeds).
bool getDevCaps(TimerCaps& caps);

// Resolution requests. The timers always run at the system's best resolution,
// so these only check the value against the limits.
bool beginPeriod(unsigned ms);
bool endPeriod(unsigned ms);

// Starts a timer that first fires after delayMs (at least 1) and then, when
// periodic, every delayMs. Returns its identifier, 0 on failure.
// The resolution is accepted for the interface's sake and ignored.
unsigned setEvent(unsigned delayMs, unsigned resolutionMs, TimerCallback callback, void* user,
                  bool periodic);

// Ends a timer. Once it returns on any thread but the dispatcher, the timer's
// callback is not running and never runs again; on the dispatcher thread (from a
// callback) the callback that is running finishes and no further one starts.
// A one-shot timer that has fired counts as ended. False for an unknown identifier.
bool killEvent(unsigned id);

// True on the dispatcher thread.
bool isDispatcherThread();

} // namespace platform::mmtimer
