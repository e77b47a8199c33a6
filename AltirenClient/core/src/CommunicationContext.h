// One server request shared by the waiting caller and its communication thread.
// Contexts live in a process-wide table guarded by its own lock; each holder takes a
// reference and the last release frees the context.
#pragma once

#include <OrvaneUtils/HTTPRequestObserver.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

class CommunicationContext : public CHTTPRequestObserver {
public:
    // A new context in the table with one reference.
    static CommunicationContext* Create();
    static void AddRef(CommunicationContext* context);
    // A context not in the table is ignored.
    static void Release(CommunicationContext* context);
    static size_t LiveCount();

    void OnRequestStarted(const std::string&) override {}
    bool OnResponseStatus(long) override { return true; }
    bool ContinueRequest() override { return true; }
    void OnBytesReceived(unsigned long) override {}
    void SetBusy(bool busy) override { m_bBusy.store(busy); }
    bool IsBusy() const { return m_bBusy.load(); }

    // The communication thread is done with every field but the reference count.
    void MarkFinished();
    // True when finished within the time.
    bool WaitFinished(unsigned long timeoutMs);

    // Written by the thread until MarkFinished, read by the caller only after it.
    std::string m_sURL;
    std::string m_sFailReason;
    std::string m_sResponse;
    int m_nRefCount = 1; // guarded by the table's lock
    int m_bFailed = 0;
    // End of the caller's wait: the thread's transfer must be over by then.
    std::chrono::steady_clock::time_point m_deadline;

private:
    CommunicationContext() = default;
    ~CommunicationContext() override = default;

    std::atomic<bool> m_bBusy{false};
    std::mutex m_mutex;
    std::condition_variable m_finishedCv;
    bool m_bFinished = false;
};
