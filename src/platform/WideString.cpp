// UTF-16 string routines.
#include "WideString.h"

namespace qv {

size_t WideLength(const OLECHAR* text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

int WideCompare(const OLECHAR* a, const OLECHAR* b) {
    while (*a && *a == *b) ++a, ++b;
    return static_cast<int>(static_cast<unsigned>(*a)) - static_cast<int>(static_cast<unsigned>(*b));
}

int WideCompareNoCase(const OLECHAR* a, const OLECHAR* b) {
    while (*a && FoldAscii(*a) == FoldAscii(*b)) ++a, ++b;
    return static_cast<int>(FoldAscii(*a)) - static_cast<int>(FoldAscii(*b));
}

void WideCopy(OLECHAR* dest, const OLECHAR* source, size_t count) {
    size_t i = 0;
    for (; i < count && source[i]; ++i) dest[i] = source[i];
    dest[i] = 0;
}

}  // namespace qv
