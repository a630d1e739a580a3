// VxArray<T>: CArray<T> with its own re-entrant lock. No operation takes the
// lock by itself: callers hold it around every sequence that must look atomic.
#pragma once

#include "CArray.h"
#include "platform/CriticalSection.h"

template <class T>
class VxArray : public CArray<T> {
public:
    bool Lock() { return lock_.Lock(); }
    bool Unlock() { return lock_.Unlock(); }
    CCriticalSection& GetLock() { return lock_; }

private:
    CCriticalSection lock_;
};
