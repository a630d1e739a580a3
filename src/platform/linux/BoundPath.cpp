// BoundPath over realpath: the UTF-8 name with every link and relative step resolved.
#include "../BoundPath.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

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
    if (!path_) return kNoMemory;
    // The resolved name is absolute, so it has a slash; the folder is opened
    // by the part before the last one, with no link left in it.
    char* slash = strrchr(path_, '/');
    *slash = 0;
    folder_ = ::open(slash == path_ ? "/" : path_, O_PATH | O_DIRECTORY | O_CLOEXEC);
    *slash = '/';
    if (folder_ < 0) {
        Clear();
        return kNoFile;
    }
    return kBound;
}

void BoundPath::Clear() {
    MemFree(path_);
    path_ = nullptr;
    if (folder_ >= 0) ::close(static_cast<int>(folder_));
    folder_ = -1;
}

}  // namespace qv
