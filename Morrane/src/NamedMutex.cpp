// Named mutex shared between processes: a lock file under the lock folder held
// with flock, plus a recursive process-local mutex so that threads of one process
// exclude each other and the owner may enter again.
#include "Morrane/Mutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::morrane::detail {

namespace {

std::string lock_folder() {
    if (const char* env = std::getenv("ALTIREN_LOCK_DIR"); env && *env)
        return env;
    return "/tmp";
}

std::string lock_path(const std::string& name) {
    std::string safe;
    for (char c : name)
        safe += (c == '/' || c == '\\') ? '_' : c;
    return lock_folder() + "/altiren-mutex-" + safe + ".lock";
}

class NamedMutexHandle final : public MutexHandle {
public:
    explicit NamedMutexHandle(const std::string& name) {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        m_localOk = pthread_mutex_init(&m_local, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
        m_fd = ::open(lock_path(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    ~NamedMutexHandle() override {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_localOk)
            pthread_mutex_destroy(&m_local);
    }
    bool ok() const { return m_localOk && m_fd >= 0; }

    int lock() override {
        if (pthread_mutex_lock(&m_local) != 0)
            return -1;
        if (m_depth++ == 0) {
            int rc;
            while ((rc = ::flock(m_fd, LOCK_EX)) == -1 && errno == EINTR) {
            }
            if (rc == -1) {
                --m_depth;
                pthread_mutex_unlock(&m_local);
                return -1;
            }
        }
        return 0;
    }
    int try_lock() override {
        int rc = pthread_mutex_trylock(&m_local);
        if (rc == EBUSY)
            return 1;
        if (rc != 0)
            return -1;
        if (m_depth == 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == -1) {
            int err = errno;
            pthread_mutex_unlock(&m_local);
            return err == EWOULDBLOCK ? 1 : -1;
        }
        ++m_depth;
        return 0;
    }
    bool unlock() override {
        // Only the owner may release: the recursive mutex refuses other threads.
        if (pthread_mutex_trylock(&m_local) != 0)
            return false;
        bool owned = m_depth > 0;
        pthread_mutex_unlock(&m_local);
        if (!owned)
            return false;
        if (--m_depth == 0)
            ::flock(m_fd, LOCK_UN);
        return pthread_mutex_unlock(&m_local) == 0;
    }

private:
    pthread_mutex_t m_local;
    bool m_localOk = false;
    int m_fd = -1;
    int m_depth = 0;
};

} // namespace

std::unique_ptr<MutexHandle> make_named_mutex(const std::string& name) {
    auto handle = std::make_unique<NamedMutexHandle>(name);
    if (!handle->ok())
        return nullptr;
    return handle;
}

} // namespace orvane::morrane::detail
