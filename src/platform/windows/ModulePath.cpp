// The path of a loaded module on Windows, and the system's shared libraries.
#include "../ModulePath.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>

namespace qv {

DWORD ModuleFileName(HMODULE module, PathChar* buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); }

DWORD SharedLibraryPath(const char* relativePath, PathChar* buffer, DWORD size) {
    if (!relativePath || !buffer || size == 0) return 0;
    // A 32-bit process is given the x86 common files folder on 64-bit
    // Windows, so the copy named is one it can load.
    PWSTR folder = nullptr;
    HRESULT hr = SHGetKnownFolderPath(FOLDERID_ProgramFilesCommon, 0, nullptr, &folder);
    size_t length = SUCCEEDED(hr) && folder ? std::wcslen(folder) : 0;
    size_t relativeLength = std::strlen(relativePath);
    bool fits = length > 0 && length + 1 + relativeLength < size;
    if (fits) {
        std::wmemcpy(buffer, folder, length);
        if (buffer[length - 1] != L'\\') buffer[length++] = L'\\';
        for (size_t i = 0; i <= relativeLength; ++i) buffer[length + i] = static_cast<wchar_t>(relativePath[i]);
        length += relativeLength;
    }
    CoTaskMemFree(folder);  // the system allocates it even when it fails
    if (!fits || !FileExists(buffer)) return 0;
    return static_cast<DWORD>(length);
}

bool FileExists(const PathChar* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace qv
