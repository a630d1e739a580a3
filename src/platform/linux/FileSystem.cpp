// File-system services over POSIX.
#include "../FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "../Utf8.h"

namespace qv {

bool OpenableForUpdate(const char* path) {
    // Without O_NONBLOCK the open of a pipe or a device can wait for ever.
    int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

bool HasWritePermission(const char* path) {
    struct stat info;
    if (::stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return false;
    // access() alone says yes to root for any file; the bits make a read-only
    // file read-only for root too.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return ::access(path, W_OK) == 0;
}

BSTR PathToBstr(const char* path) {
    try {
        std::basic_string<OLECHAR> wide = WideFromUtf8(path, std::strlen(path));
        return AllocBstrLen(wide.data(), static_cast<unsigned>(wide.size()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qv
