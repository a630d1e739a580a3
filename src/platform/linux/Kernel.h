// The kernel services the library takes from Windows, on Linux: interlocked
// increment and decrement of a 32-bit count.
#pragma once

#include "ComBase.h"

inline LONG InterlockedIncrement(LONG volatile* addend) {
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* addend) {
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
