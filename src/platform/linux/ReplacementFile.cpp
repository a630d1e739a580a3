// ReplacementFile over POSIX: mkostemp for the exclusive, owner-only temporary
// file, fsync, fchmod to the target's bits, and rename as the atomic replace.
#include "../ReplacementFile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../FileSystem.h"

namespace qv {
namespace {

// Joins directory and the mkostemp pattern name into out; false when it does not fit.
bool JoinPath(char* out, size_t capacity, const char* directory, size_t directoryLength, const char* name) {
    while (directoryLength > 1 && directory[directoryLength - 1] == '/') --directoryLength;
    size_t nameLength = strlen(name);
    bool slash = directoryLength > 0 && directory[directoryLength - 1] != '/';
    size_t total = directoryLength + (slash ? 1 : 0) + nameLength;
    if (total + 1 > capacity) return false;
    memcpy(out, directory, directoryLength);
    if (slash) out[directoryLength] = '/';
    memcpy(out + directoryLength + (slash ? 1 : 0), name, nameLength + 1);
    return true;
}

// Creates a new file from the pattern in path (ending in XXXXXX), with mode
// 0600, failing rather than opening a name that exists. The descriptor, or -1.
int CreateExclusive(char* path) { return mkostemp(path, O_CLOEXEC); }

bool WriteAll(int fd, const void* data, size_t bytes) {
    if (WriteShouldFail()) {
        errno = ENOSPC;
        return false;
    }
    const char* next = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t written = ::write(fd, next, bytes);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        next += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

bool SyncToDisk(int fd) {
    if (WriteShouldFail()) {
        errno = ENOSPC;
        return false;
    }
    return ::fsync(fd) == 0;
}

// 1 when the target exists and may be replaced (mode receives its bits), 0
// when it does not exist, -1 when it must not be replaced.
int TargetState(const char* target, mode_t* mode) {
    struct stat info;
    if (::stat(target, &info) != 0) return errno == ENOENT ? 0 : -1;
    // rename() would replace a read-only file without asking: ask here.
    if (!HasWritePermission(target)) return -1;
    *mode = info.st_mode & 07777;
    return 1;
}

// Makes the rename itself durable: the directory entry reaches the disk too.
void SyncDirectoryOf(const char* path) {
    const char* slash = strrchr(path, '/');
    char directory[ReplacementFile::kPathCapacity];
    if (!slash) {
        strcpy(directory, ".");
    } else {
        size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        memcpy(directory, path, length);
        directory[length] = 0;
    }
    int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Copies the closed file source into a new exclusive temporary file in the
// target's directory, flushed and with the given bits, and renames it onto
// the target. False, with nothing left of the copy, when any step fails.
bool CopyBesideAndReplace(const char* source, const char* target, int targetState, mode_t mode) {
    char beside[ReplacementFile::kPathCapacity];
    const char* slash = strrchr(target, '/');
    bool fits = slash ? JoinPath(beside, sizeof beside, target,
                                 slash == target ? 1 : static_cast<size_t>(slash - target), ".quorvel-XXXXXX")
                      : JoinPath(beside, sizeof beside, ".", 1, ".quorvel-XXXXXX");
    if (!fits) return false;
    int in = ::open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = CreateExclusive(beside);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char block[64 * 1024];
    for (;;) {
        ssize_t got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (!WriteAll(out, block, static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    ok = ok && SyncToDisk(out);
    if (ok && targetState == 1) ok = ::fchmod(out, mode) == 0;
    if (::close(out) != 0) ok = false;
    ok = ok && ::rename(beside, target) == 0;
    if (!ok) ::unlink(beside);
    return ok;
}

}  // namespace

bool ReplacementFile::Begin(const char* target) {
    Abort();
    target_[0] = 0;
    // A symbolic link stays in place: the file it leads to is what is replaced.
    char resolved[PATH_MAX];
    const char* real = ::realpath(target, resolved) ? resolved : target;
    size_t length = strlen(real);
    if (length == 0 || length >= sizeof target_) return false;
    memcpy(target_, real, length + 1);

    mode_t mode = 0;
    if (TargetState(target_, &mode) < 0) return false;

    const char* directory = getenv("TMPDIR");
    if (!directory || !*directory) directory = "/tmp";
    if (!JoinPath(tempPath_, sizeof tempPath_, directory, strlen(directory), "quorvel-XXXXXX")) {
        tempPath_[0] = 0;
        return false;
    }
    int fd = CreateExclusive(tempPath_);
    if (fd < 0) {
        tempPath_[0] = 0;
        return false;
    }
    handle_ = fd;
    return true;
}

bool ReplacementFile::Write(const void* data, size_t bytes) {
    return handle_ >= 0 && WriteAll(static_cast<int>(handle_), data, bytes);
}

bool ReplacementFile::Commit() {
    if (handle_ < 0) return false;
    int fd = static_cast<int>(handle_);
    mode_t mode = 0;
    int state = TargetState(target_, &mode);
    bool ok = state >= 0 && SyncToDisk(fd);
    // The new file keeps the permission bits of the one it replaces.
    if (ok && state == 1) ok = ::fchmod(fd, mode) == 0;
    handle_ = -1;
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        Abort();
        return false;
    }
    if (::rename(tempPath_, target_) == 0) {
        tempPath_[0] = 0;
        SyncDirectoryOf(target_);
        return true;
    }
    if (errno == EXDEV && CopyBesideAndReplace(tempPath_, target_, state, mode)) {
        Abort();
        SyncDirectoryOf(target_);
        return true;
    }
    Abort();
    return false;
}

void ReplacementFile::Abort() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (tempPath_[0]) ::unlink(tempPath_);
    tempPath_[0] = 0;
}

}  // namespace qv
