// Guards that disarm the failure hooks when a test ends, whatever happened.
#pragma once

#include "platform/Platform.h"
#include "platform/ReplacementFile.h"

namespace qvtest {

struct AllocFailureGuard {
    ~AllocFailureGuard() {
        qv::SetAllocFailure(0);
        qv::SetBstrLengthLimit(0);
    }
};

// Disarms the write-failure hook when a test ends.
struct WriteFailureGuard {
    ~WriteFailureGuard() { qv::SetWriteFailure(0); }
};

}  // namespace qvtest
