// The COM task allocator and the identifiers of COM's own interfaces on Linux.
#include "ComBase.h"

#include <cstdlib>

extern "C" const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
extern "C" const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void* CoTaskMemAlloc(size_t cb) { return std::malloc(cb); }
void* CoTaskMemRealloc(void* pv, size_t cb) { return std::realloc(pv, cb); }
void CoTaskMemFree(void* pv) { std::free(pv); }
