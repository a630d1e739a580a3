// File-system services over the Win32 API.
#include "../FileSystem.h"

#include "../windows/WindowsSdk.h"

namespace qv {

bool OpenableForUpdate(const PathChar* path) {
    // The replace that saves the file deletes it as well as writing it.
    HANDLE file =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // NUL, CON and pipes open too, but are no files.
    bool disk = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    return disk;
}

bool HasWritePermission(const PathChar* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

BSTR PathToBstr(const PathChar* path) { return AllocBstrLen(path, static_cast<unsigned>(wcslen(path))); }

}  // namespace qv
