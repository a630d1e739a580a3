// The file-system services of the table's loader and writer, with narrow paths
// (the ANSI code page on Windows, UTF-8 elsewhere).
#pragma once

namespace qv {

// True when the existing file opens for reading and writing, without being
// created or truncated and without any sharing restriction; it is closed again at once.
bool CanOpenForUpdate(const char* path);

// True when the file exists and may be written. A file without any write
// permission (Linux: no write permission bit at all; Windows: the read-only
// attribute) counts as read-only for every user, the administrator included,
// so that a file marked read-only is never rewritten whoever runs the program.
bool IsWritableFile(const char* path);

}  // namespace qv
