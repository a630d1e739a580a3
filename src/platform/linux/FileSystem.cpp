// File-system services over POSIX.
#include "../FileSystem.h"

#include <fcntl.h>
#include <unistd.h>

namespace qv {

bool CanOpenForUpdate(const char* path) {
    int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace qv
