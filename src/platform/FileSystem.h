// The file-system services of the table's loader and writer, with narrow paths
// (the ANSI code page on Windows, UTF-8 elsewhere).
#pragma once

namespace qv {

// True when the existing file opens for reading and writing, without being
// created or truncated and without any sharing restriction; it is closed again at once.
bool CanOpenForUpdate(const char* path);

}  // namespace qv
