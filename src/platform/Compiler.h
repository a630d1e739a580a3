// What the library takes from the compiler beyond the language (GCC and
// Clang, which build every platform): a plain int that one thread stores
// under a lock while others read it without one, and a hint to fetch memory
// ahead of its use.
#pragma once

namespace qv {

inline int LoadRelaxed(const int& value) { return __atomic_load_n(&value, __ATOMIC_RELAXED); }
inline void StoreRelaxed(int& target, int value) { __atomic_store_n(&target, value, __ATOMIC_RELAXED); }

inline void Prefetch(const void* address) { __builtin_prefetch(address); }

}  // namespace qv
