#include "Morrane/Event.h"

#include "WaitFds.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CEvent::CEvent(bool signalled) : m_set(signalled) {
    m_fd = ::eventfd(signalled ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CEvent::~CEvent() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void CEvent::set() {
    m_set.store(true, std::memory_order_release);
    uint64_t one = 1;
    // A full counter (never reached) still reads as signalled.
    [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}

void CEvent::reset() {
    m_set.store(false, std::memory_order_release);
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(m_fd, &value, sizeof value);
}

bool CEvent::is_set() const {
    return m_set.load(std::memory_order_acquire);
}

int wait_plain(CWaitHandle& handle, unsigned ms) {
    switch (morrane_detail::wait_fds(-1, &handle, ms)) {
    case morrane_detail::kWaitHandle:
        return MORRANE_WAIT_OBJECT_0;
    case morrane_detail::kWaitTimeout:
        return MORRANE_WAIT_TIMEOUT;
    default:
        return MORRANE_WAIT_FAILED;
    }
}
