// The path of a loaded shared object on Linux, found with dladdr. Linux keeps
// no folder of shared Windows components.
#include "../ModulePath.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>

namespace qv {

DWORD ModuleFileName(HMODULE module, PathChar* buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const void* address = module ? module : reinterpret_cast<const void*>(&ModuleFileName);
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fname[0]) return 0;
    // dlopen keeps the name it was given, which may be relative to a directory
    // the process has since left; the real path names the file for good.
    char resolved[PATH_MAX];
    const char* path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    size_t length = std::strlen(path);
    if (length >= size) {
        std::memcpy(buffer, path, size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, path, length + 1);
    return static_cast<DWORD>(length);
}

DWORD SharedLibraryPath(const char*, PathChar*, DWORD) { return 0; }

bool FileExists(const PathChar* path) {
    struct stat status;
    return path && stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace qv
