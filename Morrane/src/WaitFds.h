// Waiting on a stop descriptor and a handle with poll.
#pragma once

#include "Morrane/Event.h"

namespace morrane_detail {

enum WaitResult { kWaitHandle = 0, kWaitStop = 1, kWaitTimeout = 2, kWaitError = -1 };

// Waits until stopFd (when >= 0) is readable or the handle (when given) is taken,
// for ms milliseconds (MORRANE_INFINITE: no limit). The stop descriptor wins when
// both are ready.
WaitResult wait_fds(int stopFd, CWaitHandle* handle, unsigned ms);

} // namespace morrane_detail
