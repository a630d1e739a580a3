// CCriticalSection over a recursive mutex.
#include "../CriticalSection.h"

CCriticalSection::CCriticalSection() = default;
CCriticalSection::~CCriticalSection() = default;
bool CCriticalSection::Lock() {
    mutex_.lock();
    return true;
}
bool CCriticalSection::Unlock() {
    mutex_.unlock();
    return true;
}
