#include "Morrane/Mutex.h"

#include "Morrane/Thread.h"
#include "MutexDetail.h"

#include <cerrno>
#include <iostream>
#include <unistd.h>

namespace orvane::morrane {

namespace detail {

bool init_robust_recursive(pthread_mutex_t& mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    bool ok = pthread_mutex_init(&mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

int lock_result(pthread_mutex_t& mutex, int rc) {
    if (rc == EOWNERDEAD) {
        // The owner ended while holding it: the mutex is ours now.
        pthread_mutex_consistent(&mutex);
        return 0;
    }
    if (rc == 0)
        return 0;
    return (rc == EBUSY || rc == ETIMEDOUT) ? 1 : -1;
}

timespec deadline_after(unsigned ms) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    ts.tv_sec += ms / 1000;
    ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_nsec -= 1000000000L;
        ++ts.tv_sec;
    }
    return ts;
}

namespace {

class LocalMutexHandle final : public MutexHandle {
public:
    LocalMutexHandle() { m_ok = init_robust_recursive(m_mutex); }
    ~LocalMutexHandle() override {
        if (m_ok)
            pthread_mutex_destroy(&m_mutex);
    }
    bool ok() const { return m_ok; }
    int lock() override { return taken(pthread_mutex_lock(&m_mutex)); }
    int try_lock() override { return taken(pthread_mutex_trylock(&m_mutex)); }
    int timed_lock(unsigned ms) override {
        timespec until = deadline_after(ms);
        return taken(pthread_mutex_timedlock(&m_mutex, &until));
    }
    bool unlock() override {
        // Only the owner may release; others are refused without touching the mutex.
        if (m_owner.load() != gettid())
            return false;
        if (--m_depth == 0)
            m_owner = 0;
        return pthread_mutex_unlock(&m_mutex) == 0;
    }

private:
    int taken(int rc) {
        int result = lock_result(m_mutex, rc);
        if (result == 0) {
            if (rc == EOWNERDEAD)
                m_depth = 0; // the dead owner's entries
            if (m_depth++ == 0)
                m_owner = gettid();
        }
        return result;
    }

    pthread_mutex_t m_mutex;
    bool m_ok = false;
    std::atomic<pid_t> m_owner{0};
    int m_depth = 0; // guarded by m_mutex
};

// How long a stoppable thread waits on the mutex between looks at its stop event.
constexpr unsigned kStopSliceMs = 20;

} // namespace

} // namespace detail

CMutex::CMutex(const char* name) : m_name(name ? name : ""), m_named(name != nullptr) {
    create();
}

CMutex::CMutex(const CMutex& other) : m_name(other.m_name), m_named(other.m_named) {
    create();
}

CMutex& CMutex::operator=(const CMutex& other) {
    if (this != &other) {
        m_name = other.m_name;
        m_named = other.m_named;
        m_error = eNone;
        m_hMutex.reset();
        create();
    }
    return *this;
}

void CMutex::create() {
    if (m_named) {
        m_hMutex = detail::make_named_mutex(m_name);
    } else {
        auto local = std::make_unique<detail::LocalMutexHandle>();
        if (local->ok())
            m_hMutex = std::move(local);
    }
    if (!m_hMutex)
        m_error = eCreate;
}

CMutex::~CMutex() {
    m_bClosing = true;
    if (m_hMutex && m_hMutex->lock() == 0)
        m_hMutex->unlock();
}

bool CMutex::enter() {
    if (m_bClosing || !m_hMutex)
        return false;
    CThread* self = get_thread();
    if (!self || !self->stoppable()) {
        int rc = m_hMutex->lock();
        if (rc == 0)
            return true;
        m_error = eWait;
        return false;
    }
    for (;;) {
        int rc = m_hMutex->timed_lock(detail::kStopSliceMs);
        if (rc == 0)
            return true;
        if (rc < 0) {
            m_error = eWait;
            return false;
        }
        if (self->stop_pending())
            return false;
    }
}

bool CMutex::try_enter() {
    if (!m_hMutex)
        return false;
    int rc = m_hMutex->try_lock();
    if (rc == 0)
        return true;
    if (rc < 0)
        m_error = eWait;
    return false;
}

bool CMutex::leave() {
    if (m_hMutex && m_hMutex->unlock())
        return true;
    m_error = eRelease;
    return false;
}

bool CMutex::test() {
    struct Kind {
        const char* type;
        const char* name;
    };
    const Kind kinds[] = {{"unnamed", nullptr}, {"named", "test_mutex"}};
    for (const Kind& kind : kinds) {
        const std::string type = kind.type;
        auto step = [&](const char* verb, bool ok, int error, const char* extra = "") {
            std::cerr << verb << type << " mutex";
            if (ok)
                std::cerr << "... OK" << extra << "\n";
            else
                std::cerr << "... error - " << error << "\n";
            return ok;
        };
        auto fail = [&] {
            std::cerr << "failed testing mutex type " << type << "\n";
            return false;
        };
        {
            CMutex mutex(kind.name);
            if (!step("creating ", mutex.get_error() == eNone, mutex.get_error()))
                return fail();
            if (!step("locking ", mutex.enter(), mutex.get_error()))
                return fail();
            if (!step("leaving ", mutex.leave(), mutex.get_error()))
                return fail();
            bool got = mutex.try_enter();
            if (!step("try lock ", mutex.get_error() == eNone, mutex.get_error(),
                      got ? " - got it" : " - didn't get it"))
                return fail();
            if (got && !step("leaving ", mutex.leave(), mutex.get_error()))
                return fail();
            std::cerr << "destroying " << type << " mutex";
        }
        std::cerr << "... OK\n";
        std::cerr << "tested mutex type " << type << " successfully\n";
    }
    return true;
}

} // namespace orvane::morrane
