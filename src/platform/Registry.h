// The registry operations that self-registration and the quorvel host use:
// the Win32 API on Windows, a REGEDIT4 file of our own elsewhere.
#pragma once

#ifdef _WIN32
#include "windows/WindowsSdk.h"

namespace qv {
// Elsewhere this keeps other processes' registry changes out for its life;
// the Windows registry has no such lock, so here it does nothing.
class RegistryTransaction {
public:
    RegistryTransaction() {}
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;
};
}  // namespace qv
#else
#include "linux/Registry.h"
#endif
