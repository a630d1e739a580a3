// CCriticalSection over a Windows critical section (re-entrant by nature).
#include "../CriticalSection.h"

CCriticalSection::CCriticalSection() { InitializeCriticalSection(&section_); }
CCriticalSection::~CCriticalSection() { DeleteCriticalSection(&section_); }
bool CCriticalSection::Lock() {
    EnterCriticalSection(&section_);
    return true;
}
bool CCriticalSection::Unlock() {
    LeaveCriticalSection(&section_);
    return true;
}
