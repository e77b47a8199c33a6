// A critical section: a recursive lock bracketed by enter and leave.
#pragma once

#include <mutex>

class CSCritSection {
public:
    CSCritSection() = default;
    virtual ~CSCritSection() = default;
    CSCritSection(const CSCritSection&) = delete;
    CSCritSection& operator=(const CSCritSection&) = delete;

    void enter() { m_mutex.lock(); }
    void leave() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section for one scope.
class CSCritSectionLock {
public:
    explicit CSCritSectionLock(CSCritSection& section) : m_section(section) { m_section.enter(); }
    ~CSCritSectionLock() { m_section.leave(); }
    CSCritSectionLock(const CSCritSectionLock&) = delete;
    CSCritSectionLock& operator=(const CSCritSectionLock&) = delete;

private:
    CSCritSection& m_section;
};
