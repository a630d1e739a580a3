// The module's object and lock counts and its handle.
#include "ModuleCounts.h"

#include <atomic>

namespace qv {
namespace {
std::atomic<LONG> g_objectCount{0};
std::atomic<LONG> g_lockCount{0};
HINSTANCE g_module = nullptr;
}  // namespace

void IncrementObjectCount() { ++g_objectCount; }
void DecrementObjectCount() { --g_objectCount; }
LONG ObjectCount() { return g_objectCount.load(); }

void IncrementLockCount() { ++g_lockCount; }
void DecrementLockCount() { --g_lockCount; }
LONG LockCount() { return g_lockCount.load(); }

void SetModuleHandle(HINSTANCE module) { g_module = module; }
HINSTANCE ModuleHandle() { return g_module; }

}  // namespace qv
