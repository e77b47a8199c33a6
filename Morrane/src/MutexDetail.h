// Helpers shared by the process-local and the named mutex.
#pragma once

#include "Morrane/Mutex.h"

#include <ctime>
#include <pthread.h>

namespace orvane::morrane::detail {

// A recursive mutex that a later locker obtains when its owner ended holding it.
bool init_robust_recursive(pthread_mutex_t& mutex);
// Maps a pthread lock result: 0 obtained (EOWNERDEAD repaired), 1 busy or timed out, -1 failed.
int lock_result(pthread_mutex_t& mutex, int rc);
// An absolute CLOCK_REALTIME time ms from now.
timespec deadline_after(unsigned ms);

std::unique_ptr<MutexHandle> make_named_mutex(const std::string& name);

} // namespace orvane::morrane::detail
