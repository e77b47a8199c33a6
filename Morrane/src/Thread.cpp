#include "Morrane/Thread.h"

#include "Morrane/MorraneError.h"
#include "Morrane/STrace.h"
#include "Morrane/Semaphore.h"
#include "Morrane/System.h"
#include "WaitFds.h"

#include <climits>
#include <exception>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// Process-wide objects, leaked on purpose: threads may end during static destruction.
CThreadKey& thread_key() {
    static CThreadKey* key = new CThreadKey;
    return *key;
}

// Guards the parent links and the set of live thread objects, so that a child
// never signals a parent that is gone.
std::recursive_mutex& family_mutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}

std::unordered_set<CThread*>& live_threads() {
    static auto* live = new std::unordered_set<CThread*>;
    return *live;
}

class CMainThread final : public CThread {
public:
    CMainThread() : CThread(true) {}

protected:
    void run() override {}
};

// Created when the library is loaded: the slot, then the main thread object.
struct ProcessObjects {
    ProcessObjects() {
        thread_key();
        static CMainThread* mainThread = new CMainThread;
        (void)mainThread;
    }
} g_processObjects;

int normal_priority(int priority) {
    return (priority == -1 || priority == 1 || priority == 2) ? priority : 0;
}

// Nice offsets for below normal, above normal and highest.
int nice_offset(int priority) {
    switch (priority) {
    case -1:
        return 5;
    case 1:
        return -5;
    case 2:
        return -10;
    default:
        return 0;
    }
}

} // namespace

CThreadKey::CThreadKey() {
    int rc = pthread_key_create(&m_key, nullptr);
    if (rc != 0)
        throw thread_key_error(CSystem::geterr_str(rc), __FILE__, static_cast<unsigned>(rc));
}

CThreadKey::~CThreadKey() {
    pthread_key_delete(m_key);
}

void* CThreadKey::getKey() const {
    return pthread_getspecific(m_key);
}

void CThreadKey::setKey(void* value) {
    pthread_setspecific(m_key, value);
}

CThread::CThread(CSemaphore* startSemaphore, int priority, unsigned stackSize)
    : m_startSemaphore(startSemaphore), m_priority(normal_priority(priority)) {
    {
        std::lock_guard guard(family_mutex());
        CThread* parent = get_thread();
        m_parent = parent ? parent : this;
        live_threads().insert(this);
    }
    auto fail = [this](int code) {
        {
            std::lock_guard guard(family_mutex());
            live_threads().erase(this);
        }
        throw thread_error(CSystem::geterr_str(static_cast<unsigned>(code)), __FILE__,
                           static_cast<unsigned>(code));
    };
    if (!m_stopEvent.valid())
        fail(static_cast<int>(CSystem::geterr()));

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSize) {
        size_t size = stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize;
        long page = sysconf(_SC_PAGESIZE);
        size = (size + page - 1) / page * page;
        pthread_attr_setstacksize(&attr, size);
    }
    int rc = pthread_create(&m_handle, &attr, &CThread::execute, this);
    pthread_attr_destroy(&attr);
    if (rc != 0)
        fail(rc);
    m_ownsThread = true;

    std::unique_lock lock(m_gateMutex);
    m_gateCond.wait(lock, [this] { return m_idKnown; });
    if (startSemaphore) {
        m_started = true;
        m_gateOpen = true;
        m_gateCond.notify_all();
    }
}

CThread::CThread(bool main) : m_handle(pthread_self()) {
    (void)main;
    m_threadId = static_cast<uint32_t>(gettid());
    {
        std::lock_guard guard(family_mutex());
        m_parent = this;
        live_threads().insert(this);
    }
    thread_key().setKey(this);
}

CThread::~CThread() {
    bool started;
    {
        std::lock_guard lock(m_gateMutex);
        started = m_gateOpen;
    }
    if (m_ownsThread && started && is_running() && !is_thread() &&
        m_cancel.load() != eThreadFinished)
        CSTrace::instance()->Trace(CSTrace::eWarning,
                                   "thread still running when its object is destroyed; the "
                                   "derived class should call terminate() in its destructor",
                                   "CThread", "~CThread", __FILE__, __LINE__);
    terminate();
    std::lock_guard guard(family_mutex());
    live_threads().erase(this);
    for (CThread* other : live_threads())
        if (other->m_parent == this)
            other->m_parent = nullptr;
    if (!m_ownsThread && thread_key().getKey() == this)
        thread_key().setKey(nullptr);
}

int CThread::start(CSemaphore* startSemaphore) {
    std::lock_guard lock(m_gateMutex);
    if (m_gateOpen)
        return 0;
    m_startSemaphore = startSemaphore;
    m_started = true;
    m_gateOpen = true;
    m_gateCond.notify_all();
    return 0;
}

bool CThread::is_thread() const {
    return is_running() && pthread_equal(pthread_self(), m_handle);
}

CThread* CThread::get_parent() const {
    std::lock_guard guard(family_mutex());
    return m_parent;
}

void CThread::clr_parent() {
    std::lock_guard guard(family_mutex());
    m_parent = nullptr;
}

bool CThread::stoppable() const {
    return m_ownsThread && m_cancel.load() != eThreadFinished;
}

bool CThread::stop_pending() const {
    return m_ownsThread && m_cancel.load() != eThreadFinished && m_stopEvent.is_set();
}

void* CThread::execute(void* self) {
    auto* thread = static_cast<CThread*>(self);
    thread_key().setKey(thread);
    {
        std::unique_lock lock(thread->m_gateMutex);
        thread->m_threadId = static_cast<uint32_t>(gettid());
        thread->m_idKnown = true;
        thread->m_gateCond.notify_all();
        thread->m_gateCond.wait(lock, [thread] { return thread->m_gateOpen; });
    }
    if (int offset = nice_offset(thread->m_priority)) {
        errno = 0;
        int base = getpriority(PRIO_PROCESS, 0);
        if (errno == 0)
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), base + offset);
    }
    thread->run_steps();
    thread_key().setKey(nullptr);
    return nullptr;
}

void CThread::run_steps() {
    bool started;
    CSemaphore* startSemaphore;
    {
        std::lock_guard lock(m_gateMutex);
        started = m_started;
        startSemaphore = m_startSemaphore;
        m_startSemaphore = nullptr;
    }
    // A stop before the body is set up ends the thread here.
    bool stoppedEarly = false;
    try {
        Yield();
        if (!started) {
            set_cancel(eThreadCancelled);
            Yield();
            return;
        }
        if (startSemaphore)
            startSemaphore->wait();
    } catch (const exit_signal&) {
        if (!started) {
            m_cancel = eThreadCancelled;
            return;
        }
        stoppedEarly = true;
    }
    if (!stoppedEarly) {
        try {
            on_init();
        } catch (const exit_signal&) {
        }
        try {
            if (m_cancel.load() == eThreadRunning)
                set_cancel(eThreadEnding);
        } catch (const exit_signal&) {
        }
        try {
            run();
        } catch (const exit_signal&) {
        }
    }
    m_cancel = eThreadFinished;
    signal_parent();
    on_finish();
}

void CThread::signal_parent() {
    std::lock_guard guard(family_mutex());
    CThread* parent = m_parent;
    if (parent && live_threads().count(parent))
        parent->on_signal(this);
}

bool CThread::waits_plainly() const {
    // While an exception unwinds the body (the stop itself, in a local's destructor) a
    // second throw would end the process: the body is being left already, so its waits
    // are plain, as after the body.
    return m_cancel.load() == eThreadFinished || std::uncaught_exceptions() > 0;
}

void CThread::Yield() {
    if (!m_ownsThread || waits_plainly()) {
        sched_yield();
        return;
    }
    if (m_stopEvent.is_set())
        exit();
}

void CThread::Sleep(unsigned ms) {
    if (waits_plainly()) {
        CSystem::msleep(ms);
        return;
    }
    if (morrane_detail::wait_fds(m_stopEvent.get_fd(), nullptr, ms) == morrane_detail::kWaitStop)
        exit();
}

int CThread::wait_handle(CWaitHandle& handle, unsigned ms) {
    if (waits_plainly())
        return wait_plain(handle, ms);
    switch (morrane_detail::wait_fds(m_stopEvent.get_fd(), &handle, ms)) {
    case morrane_detail::kWaitStop:
        exit();
    case morrane_detail::kWaitHandle:
        return MORRANE_WAIT_OBJECT_0;
    case morrane_detail::kWaitTimeout:
        return MORRANE_WAIT_TIMEOUT;
    default:
        return MORRANE_WAIT_FAILED;
    }
}

void CThread::set_cancel(thread_cancel_t state) {
    m_cancel = state;
    if (state == eThreadEnding || state == eThreadCancelled)
        xx_yield();
}

void CThread::exit() {
    // Acquire what the stopper wrote before it set the event.
    (void)m_stopEvent.is_set();
    throw exit_signal{};
}

void CThread::terminate() {
    {
        // From here on the object takes no call from its children: a derived class
        // calls this first in its destructor, before its members go.
        std::lock_guard guard(family_mutex());
        live_threads().erase(this);
    }
    if (!m_ownsThread || is_thread())
        return;
    std::lock_guard once(m_terminateMutex);
    if (!is_running())
        return;
    {
        std::lock_guard lock(m_gateMutex);
        if (!m_gateOpen) {
            // Never started: the thread leaves at the gate without running a step.
            m_stopEvent.set();
            m_gateOpen = true;
            m_gateCond.notify_all();
        } else if (m_cancel.load() != eThreadCancelled) {
            m_stopEvent.set();
        }
    }
    pthread_join(m_handle, nullptr);
    signal_parent();
    m_threadId = 0;
}

CThread* get_thread() {
    return static_cast<CThread*>(thread_key().getKey());
}

int wait_thread(CWaitHandle& handle, unsigned ms) {
    if (CThread* thread = get_thread())
        return thread->wait_handle(handle, ms);
    return wait_plain(handle, ms);
}

void xx_delay(unsigned ms) {
    if (CThread* thread = get_thread())
        thread->Sleep(ms);
    else
        CSystem::msleep(ms);
}

void xx_yield() {
    if (CThread* thread = get_thread())
        thread->Yield();
    else
        sched_yield();
}
