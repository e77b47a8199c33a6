// The part of an event loop that the control socket needs: watching file descriptors.
// Event bits are the epoll ones (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP, EPOLLRDHUP).
#pragma once

#include <cstdint>
#include <functional>

namespace quellin::ctlsock {

class FdWatcher {
public:
    using Handler = std::function<void(uint32_t events)>;

    virtual ~FdWatcher() = default;
    // Starts watching fd for events; the handler runs on the loop's thread. false on failure.
    virtual bool watch(int fd, uint32_t events, Handler handler) = 0;
    // Changes the events watched on fd.
    virtual bool change(int fd, uint32_t events) = 0;
    // Stops watching fd; safe to call from inside the fd's own handler.
    virtual void unwatch(int fd) = 0;
};

} // namespace quellin::ctlsock
