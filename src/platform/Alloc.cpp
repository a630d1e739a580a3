// The allocation wrappers and the failure hook that tests arm.
#include "Alloc.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace qv {
namespace {
std::atomic<long> g_failCountdown{0};
std::atomic<long> g_allocCount{0};
std::atomic<bool> g_counting{false};  // from the first ResetAllocCount: an atomic add costs every allocation
std::atomic<size_t> g_sizeLimit{0};   // 0: no limit beyond size_t's own
std::atomic<size_t> g_bstrLimit{0};   // 0: kLongestBstr
}  // namespace

bool ArrayBytes(size_t count, size_t size, size_t* bytes) {
    size_t limit = g_sizeLimit.load();
    if (limit == 0) limit = static_cast<size_t>(-1);
    if (size != 0 && count > limit / size) return false;
    *bytes = count * size;
    return true;
}
void SetSizeLimit(size_t limit) { g_sizeLimit.store(limit); }

void SetAllocFailure(long nth) { g_failCountdown.store(nth); }
long AllocCount() { return g_allocCount.load(); }
void ResetAllocCount() {
    g_allocCount.store(0);
    g_counting.store(true);
}

bool AllocShouldFail() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocCount.fetch_add(1);
    long left = g_failCountdown.load(std::memory_order_relaxed);
    while (left > 0) {
        if (g_failCountdown.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

void* MemAlloc(size_t bytes) { return AllocShouldFail() ? nullptr : std::malloc(bytes ? bytes : 1); }
void* MemRealloc(void* block, size_t bytes) {
    return AllocShouldFail() ? nullptr : std::realloc(block, bytes ? bytes : 1);
}
void MemFree(void* block) { std::free(block); }

namespace {
void* Populated(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    // Only whole pages inside the block; a kernel without the advice (before
    // 5.14) refuses it, and the pages then come one fault at a time.
    const uintptr_t page = 4096;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (block && end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)bytes;
#endif
    return block;
}
}  // namespace

void* BulkAlloc(size_t bytes) { return Populated(MemAlloc(bytes), bytes); }
void* BulkRealloc(void* block, size_t bytes) { return Populated(MemRealloc(block, bytes), bytes); }

bool GrowBlock(void** block, size_t* capacity, size_t length, size_t more, size_t size) {
    if (*capacity >= length && *capacity - length >= more) return true;
    const size_t most = static_cast<size_t>(-1);
    if (more > most - length) return false;
    size_t wanted = length + more;
    size_t grown = *capacity ? *capacity : 256;
    while (grown < wanted) grown = grown > most / 2 ? wanted : grown * 2;
    size_t bytes;
    if (!ArrayBytes(grown, size, &bytes)) return false;
    void* moved = MemRealloc(*block, bytes);
    if (!moved) return false;
    *block = moved;
    *capacity = grown;
    return true;
}

void* TaskMemAlloc(size_t bytes) { return AllocShouldFail() ? nullptr : CoTaskMemAlloc(bytes ? bytes : 1); }
void TaskMemFree(void* block) { CoTaskMemFree(block); }

size_t LongestBstr() {
    size_t limit = g_bstrLimit.load();
    return limit ? limit : kLongestBstr;
}

BSTR AllocBstrLen(const OLECHAR* text, size_t length) {
    // Refused before it counts as an allocation: no memory would help.
    if (length > LongestBstr()) return nullptr;
    return AllocShouldFail() ? nullptr : SysAllocStringLen(text, static_cast<UINT>(length));
}
void SetBstrLengthLimit(size_t limit) { g_bstrLimit.store(limit); }

namespace {
// Only strings allocate when a VARIANT is copied by the library (it never
// holds arrays or records), so the hook is asked for those alone.
bool CopyAllocates(const VARIANT* src, bool indirect) {
    if (src->vt == VT_BSTR) return true;
    return indirect && src->vt == (VT_BYREF | VT_BSTR);
}
}  // namespace

HRESULT CopyVariant(VARIANT* dest, const VARIANT* src) {
    if (CopyAllocates(src, false) && AllocShouldFail()) {
        VariantClear(dest);
        return E_OUTOFMEMORY;
    }
    return VariantCopy(dest, const_cast<VARIANT*>(src));
}

HRESULT CopyVariantInd(VARIANT* dest, const VARIANT* src) {
    if (CopyAllocates(src, true) && AllocShouldFail()) {
        VariantClear(dest);
        return E_OUTOFMEMORY;
    }
    return VariantCopyInd(dest, const_cast<VARIANT*>(src));
}

}  // namespace qv
