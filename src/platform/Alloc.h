// Every allocation the library makes goes through these wrappers, so that a
// test can make any one of them fail (TestHooks.h) and check what the caller
// reports.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "Sdk.h"
#include "TestHooks.h"

namespace qv {

// Sets bytes to count * size, the size of a block of count elements; false,
// with bytes untouched, when the product does not fit in a size_t (or exceeds
// a test's limit, TestHooks.h): no such block can exist.
bool ArrayBytes(size_t count, size_t size, size_t* bytes);

// Plain heap blocks (containers, buffers).
void* MemAlloc(size_t bytes);
void* MemRealloc(void* block, size_t bytes);
void MemFree(void* block);
// A heap block that the caller is about to fill whole (a loaded table's rows
// and lines), freed with MemFree. Where the system can, its pages are made
// present in one call instead of one fault each as they are first written.
void* BulkAlloc(size_t bytes);
void* BulkRealloc(void* block, size_t bytes);

// Makes room in a MemRealloc block of capacity elements of size bytes each
// for more elements after the first length: the capacity doubles, from 256,
// until they fit. False, with block and capacity unchanged, when memory runs
// out or the block's size would not fit in a size_t.
bool GrowBlock(void** block, size_t* capacity, size_t length, size_t more, size_t size);
template <class T>
bool GrowBlock(T*& block, size_t& capacity, size_t length, size_t more) {
    void* raw = block;
    if (!GrowBlock(&raw, &capacity, length, more, sizeof(T))) return false;
    block = static_cast<T*>(raw);
    return true;
}

// The COM task allocator (row records and cell arrays).
void* TaskMemAlloc(size_t bytes);
void TaskMemFree(void* block);

// A BSTR of length characters; null when the allocation fails or when the
// string is longer than a BSTR can be (kLongestBstr, or a test's limit,
// TestHooks.h): its byte count is 32 bits wide on every platform.
BSTR AllocBstrLen(const OLECHAR* text, size_t length);
constexpr size_t kLongestBstr = 0x7FFFFFFF;
// The longest string AllocBstrLen makes: kLongestBstr, or a test's limit.
size_t LongestBstr();

// VariantCopy and VariantCopyInd that fail with E_OUTOFMEMORY, leaving the
// destination VT_EMPTY, when the hook fails a string copy.
HRESULT CopyVariant(VARIANT* dest, const VARIANT* src);
HRESULT CopyVariantInd(VARIANT* dest, const VARIANT* src);

// new (nothrow) that also answers to the hook; null on failure.
template <class T, class... Args>
T* NewObject(Args&&... args) {
    if (AllocShouldFail()) return nullptr;
    return new (std::nothrow) T(std::forward<Args>(args)...);
}

}  // namespace qv
