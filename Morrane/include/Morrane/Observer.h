// Observer pattern.
#pragma once

#include <list>

class CSubject;

class CObserver {
public:
    virtual ~CObserver();
    virtual void update(CSubject* subject) = 0;
};

class CSubject {
public:
    CSubject() = default;
    CSubject(const CSubject&) = default;
    CSubject& operator=(const CSubject&) = default;
    virtual ~CSubject();

    virtual void attach(CObserver* observer);
    // Removes every occurrence.
    virtual void detach(CObserver* observer);
    // Calls each observer's update in attach order. An observer detached during
    // the call (by itself or another) is not called any more.
    virtual void notify();
    virtual void getObservers(std::list<CObserver*>& observers) const;

private:
    std::list<CObserver*> m_observers;
    // Bumped by detach, so that notify sees removals made by updates.
    unsigned m_detachCount = 0;
};
