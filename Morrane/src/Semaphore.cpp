#include "Morrane/Semaphore.h"

#include "Morrane/Thread.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

struct CSemaphore::Inner {
    int fd = -1;
    std::atomic<int> count{0};
};

CSemaphore::CSemaphore(unsigned initial) : m_inner(std::make_unique<Inner>()) {
    if (initial > static_cast<unsigned>(kMaxCount))
        initial = kMaxCount;
    m_inner->fd = ::eventfd(initial, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC);
    m_inner->count = static_cast<int>(initial);
}

CSemaphore::~CSemaphore() {
    if (m_inner->fd >= 0)
        ::close(m_inner->fd);
}

bool CSemaphore::post() {
    if (m_inner->fd < 0 || m_inner->count.load() >= kMaxCount)
        return false;
    uint64_t one = 1;
    if (::write(m_inner->fd, &one, sizeof one) != sizeof one)
        return false;
    ++m_inner->count;
    return true;
}

void CSemaphore::wait() {
    if (wait_thread(*this, MORRANE_INFINITE) == MORRANE_WAIT_OBJECT_0)
        --m_inner->count;
}

int CSemaphore::get_value() const {
    return m_inner->count.load();
}

int CSemaphore::get_fd() const {
    return m_inner->fd;
}

bool CSemaphore::try_acquire() {
    uint64_t value = 0;
    return ::read(m_inner->fd, &value, sizeof value) == sizeof value;
}
