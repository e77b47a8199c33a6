#include "Morrane/Observer.h"

#include <algorithm>
#include <vector>

CObserver::~CObserver() = default;

CSubject::~CSubject() = default;

void CSubject::attach(CObserver* observer) {
    m_observers.push_back(observer);
}

void CSubject::detach(CObserver* observer) {
    m_observers.remove(observer);
    ++m_detachCount;
}

void CSubject::notify() {
    // Walk a snapshot: an update may attach or detach observers.
    const std::vector<CObserver*> snapshot(m_observers.begin(), m_observers.end());
    unsigned seen = m_detachCount;
    for (CObserver* observer : snapshot) {
        if (m_detachCount != seen) {
            if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
                continue;
        }
        observer->update(this);
    }
}

void CSubject::getObservers(std::list<CObserver*>& observers) const {
    observers = m_observers;
}
