// Named mutex shared between processes: a lock file under the lock folder held
// with flock, plus a recursive process-local mutex so that threads of one process
// exclude each other and the owner may enter again. Every CMutex of one name in a
// process shares one record, as handles of one named object would.
#include "MutexDetail.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
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

// How often a timed wait looks at a lock file that another process holds.
constexpr auto kFilePoll = std::chrono::milliseconds(5);

struct NamedLock {
    explicit NamedLock(const std::string& path) {
        localOk = init_robust_recursive(local);
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EACCES) // another user's lock file: flock needs no write access
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    ~NamedLock() {
        if (fd >= 0)
            ::close(fd);
        if (localOk)
            pthread_mutex_destroy(&local);
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    bool ok() const { return localOk && fd >= 0; }

    pthread_mutex_t local;
    bool localOk = false;
    int fd = -1;
    int depth = 0; // entries of the owning thread; guarded by local
};

// Called with the local mutex just obtained; takes the file lock on the first entry.
// wait: -1 without limit, else a deadline in ms from now (0: do not wait).
int take_file(NamedLock& lock, bool abandoned, long waitMs) {
    if (abandoned)
        lock.depth = 0; // the dead owner's entries; the file lock is still this process's
    if (lock.depth == 0) {
        int rc;
        if (waitMs < 0) {
            while ((rc = ::flock(lock.fd, LOCK_EX)) == -1 && errno == EINTR) {
            }
        } else {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
            while ((rc = ::flock(lock.fd, LOCK_EX | LOCK_NB)) == -1 &&
                   (errno == EWOULDBLOCK || errno == EINTR) &&
                   std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(kFilePoll);
        }
        if (rc == -1) {
            int err = errno;
            pthread_mutex_unlock(&lock.local);
            return err == EWOULDBLOCK ? 1 : -1;
        }
    }
    ++lock.depth;
    return 0;
}

class NamedMutexHandle final : public MutexHandle {
public:
    explicit NamedMutexHandle(std::shared_ptr<NamedLock> lock) : m_lock(std::move(lock)) {}

    int lock() override { return finish(pthread_mutex_lock(&m_lock->local), -1); }
    int try_lock() override { return finish(pthread_mutex_trylock(&m_lock->local), 0); }
    int timed_lock(unsigned ms) override {
        auto start = std::chrono::steady_clock::now();
        timespec until = deadline_after(ms);
        int rc = pthread_mutex_timedlock(&m_lock->local, &until);
        long spent = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count());
        return finish(rc, spent >= static_cast<long>(ms) ? 0 : static_cast<long>(ms) - spent);
    }
    bool unlock() override {
        NamedLock& lock = *m_lock;
        // Only the owner may release: the recursive mutex refuses other threads.
        if (pthread_mutex_trylock(&lock.local) != 0)
            return false;
        bool owned = lock.depth > 0;
        pthread_mutex_unlock(&lock.local);
        if (!owned)
            return false;
        if (--lock.depth == 0)
            ::flock(lock.fd, LOCK_UN);
        return pthread_mutex_unlock(&lock.local) == 0;
    }

private:
    int finish(int rc, long fileWaitMs) {
        int result = lock_result(m_lock->local, rc);
        if (result != 0)
            return result;
        return take_file(*m_lock, rc == EOWNERDEAD, fileWaitMs);
    }

    std::shared_ptr<NamedLock> m_lock;
};

std::mutex g_registryMutex;
std::map<std::string, std::weak_ptr<NamedLock>>& registry() {
    static auto* r = new std::map<std::string, std::weak_ptr<NamedLock>>;
    return *r;
}

} // namespace

std::unique_ptr<MutexHandle> make_named_mutex(const std::string& name) {
    const std::string path = lock_path(name);
    std::lock_guard guard(g_registryMutex);
    std::shared_ptr<NamedLock> lock = registry()[path].lock();
    if (!lock) {
        lock = std::make_shared<NamedLock>(path);
        if (!lock->ok())
            return nullptr;
        registry()[path] = lock;
    }
    return std::make_unique<NamedMutexHandle>(std::move(lock));
}

} // namespace orvane::morrane::detail
