// The file-system services of the table's loader and writer.
#pragma once

#include "Alloc.h"
#include "PathChar.h"

namespace qv {

// Asks the file system without opening anything: true when the file exists,
// is no folder, and its permissions let this process write it. A file without
// any write permission (Linux: no write permission bit at all; Windows: the
// read-only attribute) counts as read-only for every user, the administrator
// included, so that a file marked read-only is never rewritten whoever runs
// the program.
bool HasWritePermission(const PathChar* path);

// Tries it: true when the existing file opens for reading and writing, without
// being created or truncated and without any sharing restriction; it is closed
// again at once.
bool OpenableForUpdate(const PathChar* path);

// The name as a new BSTR, in UTF-16 as names cross an interface (from UTF-8
// on Linux; bytes that do not decode become U+FFFD). Null when memory runs
// out; the allocation hook reaches it.
BSTR PathToBstr(const PathChar* path);

}  // namespace qv
