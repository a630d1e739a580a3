// BoundPath: the one file a table works on, named once when the table opens it
// and by the same name until it is saved. A relative name is completed from the
// current folder at that moment, and links are followed to the file they lead
// to, so that neither a later change of folder nor a link replaced meanwhile
// turns the save towards another file. On Linux the folder itself is held
// open from then on: a folder on the way swapped for a link after the open
// does not move the save either. The name is kept in the system's own
// spelling (UTF-8 on Linux, UTF-16 on Windows), whatever its length.
#pragma once

#include "Sdk.h"

#include <cstdint>

#include "PathChar.h"

namespace qv {

class BoundPath {
public:
    enum Outcome {
        kBound,
        kNoFile,    // the name leads to no file that could be reached
        kNoMemory,  // the name could not be stored
    };

    BoundPath() = default;
    ~BoundPath() { Clear(); }
    BoundPath(const BoundPath&) = delete;
    BoundPath& operator=(const BoundPath&) = delete;

    // Binds the existing file that name leads to now, replacing any earlier
    // binding; on failure nothing is bound.
    Outcome Bind(const OLECHAR* name);
    void Clear();
    bool IsBound() const { return path_ != nullptr; }
    // The absolute name; null when nothing is bound.
    const PathChar* Get() const { return path_; }
    // Linux: a descriptor of the file's folder, held from the binding on, for
    // the calls that act on the name within it; -1 when none (Windows).
    intptr_t Folder() const { return folder_; }

private:
    PathChar* path_ = nullptr;
    intptr_t folder_ = -1;
};

}  // namespace qv
