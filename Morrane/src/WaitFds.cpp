#include "WaitFds.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>

namespace morrane_detail {

WaitResult wait_fds(int stopFd, CWaitHandle* handle, unsigned ms) {
    using clock = std::chrono::steady_clock;
    const bool forever = ms == MORRANE_INFINITE;
    const auto deadline = clock::now() + std::chrono::milliseconds(forever ? 0 : ms);
    for (;;) {
        pollfd fds[2];
        int n = 0;
        int stopIndex = -1;
        int handleIndex = -1;
        if (stopFd >= 0) {
            stopIndex = n;
            fds[n++] = pollfd{stopFd, POLLIN, 0};
        }
        if (handle) {
            handleIndex = n;
            fds[n++] = pollfd{handle->get_fd(), POLLIN, 0};
        }
        int timeout = -1;
        if (!forever) {
            // Rounded up, and cut to what poll takes: a wait beyond 24 days goes
            // round again instead of turning negative (no limit at all).
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now());
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
        }
        int rc = ::poll(fds, static_cast<nfds_t>(n), timeout);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return kWaitError;
        }
        if (stopIndex >= 0 && (fds[stopIndex].revents & POLLIN))
            return kWaitStop;
        if (handleIndex >= 0) {
            short revents = fds[handleIndex].revents;
            if (revents & POLLIN) {
                if (handle->try_acquire())
                    return kWaitHandle;
                // Another waiter took it: wait on, unless the time is up.
                if (!forever && clock::now() >= deadline)
                    return kWaitTimeout;
                continue;
            }
            if (revents & (POLLERR | POLLNVAL))
                return kWaitError;
        }
        if (stopIndex >= 0 && (fds[stopIndex].revents & (POLLERR | POLLNVAL)))
            return kWaitError;
        if (rc == 0 && clock::now() >= deadline)
            return kWaitTimeout;
    }
}

} // namespace morrane_detail
