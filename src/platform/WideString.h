// The few UTF-16 string routines the library needs, the same on every platform.
#pragma once

#include <cstddef>

#include "Sdk.h"

namespace qv {

// Number of code units before the terminating zero; 0 for null.
size_t WideLength(const OLECHAR* text);
// The code unit with the letters A to Z folded to a to z and nothing else
// folded, as _wcsicmp folds in the C run-time's default locale.
inline unsigned FoldAscii(OLECHAR c) {
    unsigned u = static_cast<unsigned>(c);
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}
// Copies at most count code units of source and always terminates dest, which
// must hold count + 1 units.
void WideCopy(OLECHAR* dest, const OLECHAR* source, size_t count);

}  // namespace qv
