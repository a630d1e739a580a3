// UTF-16 string routines.
#include "WideString.h"

namespace qv {

size_t WideLength(const OLECHAR* text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

void WideCopy(OLECHAR* dest, const OLECHAR* source, size_t count) {
    size_t i = 0;
    for (; i < count && source[i]; ++i) dest[i] = source[i];
    dest[i] = 0;
}

}  // namespace qv
