// FileReader over POSIX descriptors.
#include "../FileReader.h"
#include "FileIdentityOf.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

bool FileReader::Open(const char* path) {
    Close();
    // A named pipe would keep a blocking open waiting for a writer for ever:
    // the type is checked first, and only a regular file is read, blocking.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    int flags = 0;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (flags = ::fcntl(fd, F_GETFL)) < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    identity_ = FileIdentityOf(info);
    digest_ = ByteDigest();
    return true;
}

long long FileReader::Read(void* buffer, size_t bytes) {
    if (handle_ < 0) return -1;
    for (;;) {
        ssize_t got = ::read(static_cast<int>(handle_), buffer, bytes);
        if (got >= 0) {
            digest_.Add(buffer, static_cast<size_t>(got));
            return got;
        }
        if (errno != EINTR) return -1;
    }
}

FileIdentity FileReader::Identity() const {
    FileIdentity identity = identity_;
    identity.digest = digest_.Value();
    identity.digestBytes = digest_.Bytes();
    return identity;
}

void FileReader::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace qv
