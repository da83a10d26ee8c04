#pragma once
#include <mutex>

#include "core/Object.h"

namespace trivale {

// A recursive lock: the thread holding it may enter again, as the streamed sound's callers expect.
class CCriticalSection : public virtual CNonCopyable {
public:
    CCriticalSection() = default;
    virtual ~CCriticalSection() = default;

    virtual void Enter() { mutex_.lock(); }
    virtual void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for the life of a scope, also when an exception leaves it.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~CCriticalSectionLock() { cs_.Leave(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& cs_;
};

}  // namespace trivale
