// CCriticalSection: a re-entrant lock. The thread that holds it may take it
// again; it is free once every Lock has been matched by an Unlock.
#pragma once

#include "Sdk.h"
#ifndef _WIN32
#include <mutex>
#endif

class CCriticalSection {
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    // Waits, without time-out, until the calling thread holds the lock.
    bool Lock();
    bool Unlock();

private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::recursive_mutex mutex_;
#endif
};

// Holds a CCriticalSection for the life of a scope.
class CSingleLock {
public:
    explicit CSingleLock(CCriticalSection& section) : section_(section) { section_.Lock(); }
    ~CSingleLock() { section_.Unlock(); }
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

private:
    CCriticalSection& section_;
};
