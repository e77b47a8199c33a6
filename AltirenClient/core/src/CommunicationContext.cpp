#include "CommunicationContext.h"

#include <OrvaneUtils/SCritSection.h>

#include <chrono>
#include <map>

namespace {

struct ContextTable {
    CSCritSection lock;
    std::map<CommunicationContext*, CommunicationContext*> contexts;
};

// Never destroyed: a late communication thread may release its context while the
// process exits.
ContextTable& Table() {
    static ContextTable* table = new ContextTable;
    return *table;
}

} // namespace

CommunicationContext* CommunicationContext::Create() {
    auto* context = new CommunicationContext;
    ContextTable& t = Table();
    CSCritSectionLock lock(t.lock);
    t.contexts[context] = context;
    return context;
}

void CommunicationContext::AddRef(CommunicationContext* context) {
    ContextTable& t = Table();
    CSCritSectionLock lock(t.lock);
    auto it = t.contexts.find(context);
    if (it != t.contexts.end())
        ++it->second->m_nRefCount;
}

void CommunicationContext::Release(CommunicationContext* context) {
    CommunicationContext* dead = nullptr;
    {
        ContextTable& t = Table();
        CSCritSectionLock lock(t.lock);
        auto it = t.contexts.find(context);
        if (it == t.contexts.end())
            return;
        if (--it->second->m_nRefCount <= 0) {
            dead = it->second;
            t.contexts.erase(it);
        }
    }
    delete dead;
}

size_t CommunicationContext::LiveCount() {
    ContextTable& t = Table();
    CSCritSectionLock lock(t.lock);
    return t.contexts.size();
}

void CommunicationContext::MarkFinished() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bFinished = true;
    }
    m_finishedCv.notify_all();
}

bool CommunicationContext::WaitFinished(unsigned long timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finishedCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return m_bFinished; });
}
