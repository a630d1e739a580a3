// BoundPath over realpath: the UTF-8 name with every link and relative step resolved.
#include "../BoundPath.h"

#include <stdlib.h>
#include <string.h>

#include "../Alloc.h"
#include "../TextConversion.h"

namespace qv {

BoundPath::Outcome BoundPath::Bind(const OLECHAR* name) {
    Clear();
    // Half a surrogate pair has no UTF-8 spelling: the name leads to no file,
    // rather than to the one that a replacement character would spell.
    int bytes = name ? NarrowFromWideExact(name, -1, nullptr, 0) : 0;
    if (bytes <= 1) return kNoFile;
    char* narrow = static_cast<char*>(MemAlloc(static_cast<size_t>(bytes)));
    if (!narrow) return kNoMemory;
    NarrowFromWideExact(name, -1, narrow, bytes);
    char* resolved = ::realpath(narrow, nullptr);
    MemFree(narrow);
    if (!resolved) return kNoFile;
    size_t length = strlen(resolved);
    path_ = static_cast<char*>(MemAlloc(length + 1));
    if (path_) memcpy(path_, resolved, length + 1);
    ::free(resolved);
    return path_ ? kBound : kNoMemory;
}

void BoundPath::Clear() {
    MemFree(path_);
    path_ = nullptr;
}

}  // namespace qv
