// The module-wide state: the count of live class factories, the count of
// LockServer locks, and the module handle that DllMain stores at attach.
#pragma once

#include "platform/Platform.h"

namespace qv {

// Interlocked; a factory raises the object count when it is constructed and
// lowers it when it is destroyed.
void IncrementObjectCount();
void DecrementObjectCount();
LONG ObjectCount();

void IncrementLockCount();
void DecrementLockCount();
LONG LockCount();

void SetModuleHandle(HINSTANCE module);
// The handle stored at process attach; null until then (and always on Linux,
// where the platform layer then names this library).
HINSTANCE ModuleHandle();

}  // namespace qv
