// The module's object and lock counts and its handle.
#include "ModuleCounts.h"

namespace qv {
namespace {
LONG volatile g_objectCount = 0;
LONG volatile g_lockCount = 0;
HINSTANCE g_module = nullptr;
}  // namespace

void IncrementObjectCount() { InterlockedIncrement(&g_objectCount); }
void DecrementObjectCount() { InterlockedDecrement(&g_objectCount); }
LONG ObjectCount() { return __atomic_load_n(&g_objectCount, __ATOMIC_SEQ_CST); }

void IncrementLockCount() { InterlockedIncrement(&g_lockCount); }
void DecrementLockCount() { InterlockedDecrement(&g_lockCount); }
LONG LockCount() { return __atomic_load_n(&g_lockCount, __ATOMIC_SEQ_CST); }

void SetModuleHandle(HINSTANCE module) { g_module = module; }
HINSTANCE ModuleHandle() { return g_module; }

}  // namespace qv
