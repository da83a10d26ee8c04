#pragma once
#include <mutex>

#include "core/Object.h"

namespace trivale {

// A recursive lock: the thread holding it may enter again, as the streamed sound's callers expect.
class CCriticalSection : public virtual CNonCopyable {
public:
    CCriticalSection() = default;
    virtual ~CCriticalSection() = default;

    virtual void Enter() { m_mutex.lock(); }
    virtual void Leave() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section for the life of a scope, also when an exception leaves it.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CCriticalSectionLock() { m_cs.Leave(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& m_cs;
};

}  // namespace trivale
