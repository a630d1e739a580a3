// ReplacementFile over POSIX: mkostemp for the exclusive, owner-only temporary
// file, fchown and fchmod to the target's owner and bits, fsync, rename as the
// atomic replace and an fsync of the folder after it.
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

// Joins the folder of path and name into out ("." for a bare file name);
// false when it does not fit.
bool BesidePath(char* out, size_t capacity, const char* path, const char* name) {
    const char* slash = strrchr(path, '/');
    if (!slash) return JoinPath(out, capacity, ".", 1, name);
    return JoinPath(out, capacity, path, slash == path ? 1 : static_cast<size_t>(slash - path), name);
}

// Creates a new file from the pattern in path (ending in XXXXXX), with mode
// 0600, failing rather than opening a name that exists. The descriptor, or -1.
int CreateExclusive(char* path) { return mkostemp(path, O_CLOEXEC); }

bool WriteAll(int fd, const void* data, size_t bytes) {
    if (FileCallFails(FileCall::kWrite)) {
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
    if (FileCallFails(FileCall::kFlush)) {
        errno = ENOSPC;
        return false;
    }
    return ::fsync(fd) == 0;
}

bool Replace(const char* source, const char* target) {
    FileCallFails(FileCall::kReplace);
    return ::rename(source, target) == 0;
}

// Makes the rename itself durable: the directory entry reaches the disk too.
void SyncFolderOf(const char* path) {
    char folder[ReplacementFile::kPathCapacity];
    if (!BesidePath(folder, sizeof folder, path, ".")) return;
    FileCallFails(FileCall::kFolderFlush);
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// True when the folder of target lets this process put another file in
// target's place; file is target's status, or null when it does not exist.
// In a sticky folder (such as /tmp) only the file's owner, the folder's owner
// or a privileged user may do that.
bool FolderLetsReplace(const char* target, const struct stat* file) {
    char folder[ReplacementFile::kPathCapacity];
    struct stat info;
    if (!BesidePath(folder, sizeof folder, target, ".") || ::stat(folder, &info) != 0) return false;
    if (::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) != 0) return false;
    if (!(info.st_mode & S_ISVTX)) return true;
    uid_t self = ::geteuid();
    return self == 0 || info.st_uid == self || (file && file->st_uid == self);
}

enum TargetState { kRefused, kMissing, kPresent };

// What target is, with its status in info when it exists. A target that is no
// regular file, has no write permission, or whose folder would refuse the
// replace is refused, with errno set.
TargetState InspectTarget(const char* target, struct stat* info) {
    if (::stat(target, info) != 0) {
        if (errno != ENOENT) return kRefused;
        if (FolderLetsReplace(target, nullptr)) return kMissing;
        errno = EACCES;
        return kRefused;
    }
    // rename() would replace a read-only file, a device or a pipe without
    // asking: ask here.
    if (!S_ISREG(info->st_mode) || !HasWritePermission(target) || !FolderLetsReplace(target, info)) {
        errno = EACCES;
        return kRefused;
    }
    return kPresent;
}

// Gives the new file the owner, group and permission bits of the file it
// replaces, as far as this process may. Only root may give a file away, so
// another user's edit leaves the file to that user; a set-user-id or
// set-group-id bit then goes, since it would lend that user's rights.
bool TakeOwnerAndMode(int fd, const struct stat& target) {
    if (::fchown(fd, target.st_uid, target.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), target.st_gid);
    struct stat now;
    if (::fstat(fd, &now) != 0) return false;
    mode_t mode = target.st_mode & 07777;
    if (now.st_uid != target.st_uid) mode &= ~S_ISUID;
    if (now.st_gid != target.st_gid) mode &= ~S_ISGID;
    return ::fchmod(fd, mode) == 0;
}

// Gives the temporary file fd the target's owner and bits (or newFileMode
// for a target that does not exist), flushes it, owner and bits included, and
// closes it. False, with errno set, when a step fails; fd is closed either way.
bool Finish(int fd, TargetState state, const struct stat& target, unsigned newFileMode) {
    bool ok = state == kPresent ? TakeOwnerAndMode(fd, target) : ::fchmod(fd, newFileMode & 07777) == 0;
    ok = ok && SyncToDisk(fd);
    int error = errno;
    if (::close(fd) != 0 && ok) return false;
    errno = error;
    return ok;
}

// Copies the closed file source into a new exclusive temporary file in the
// target's folder, finished as Finish does, and renames it onto the target.
// False, with nothing left of the copy, when any step fails.
bool CopyBesideAndReplace(const char* source, const char* target, TargetState state, const struct stat& info,
                          unsigned newFileMode) {
    char beside[ReplacementFile::kPathCapacity];
    if (!BesidePath(beside, sizeof beside, target, ".quorvel-XXXXXX")) return false;
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
    if (!ok) {
        ::close(out);
    } else {
        ok = Finish(out, state, info, newFileMode) && Replace(beside, target);
    }
    if (!ok) {
        int error = errno;
        ::unlink(beside);
        errno = error;
    }
    return ok;
}

}  // namespace

bool ReplacementFile::CanReplace(const char* target) {
    char resolved[PATH_MAX];
    struct stat info;
    return InspectTarget(::realpath(target, resolved) ? resolved : target, &info) != kRefused;
}

bool ReplacementFile::Begin(const char* target, unsigned newFileMode) {
    Abort();
    target_[0] = 0;
    newFileMode_ = newFileMode;
    // A symbolic link stays in place: the file it leads to is what is replaced.
    char resolved[PATH_MAX];
    const char* real = ::realpath(target, resolved) ? resolved : target;
    size_t length = strlen(real);
    if (length == 0 || length >= sizeof target_) return false;
    memcpy(target_, real, length + 1);

    struct stat info;
    if (InspectTarget(target_, &info) == kRefused) return false;

    const char* directory = getenv("TMPDIR");
    if (!directory || !*directory) directory = "/tmp";
    int fd = -1;
    if (JoinPath(tempPath_, sizeof tempPath_, directory, strlen(directory), "quorvel-XXXXXX"))
        fd = CreateExclusive(tempPath_);
    // A temporary folder that cannot take the file (missing, full, not ours)
    // must not cost the edits: the file is made beside the target instead, as
    // the copy across volumes is.
    if (fd < 0 && BesidePath(tempPath_, sizeof tempPath_, target_, ".quorvel-XXXXXX")) fd = CreateExclusive(tempPath_);
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
    if (handle_ < 0) {
        errno = EBADF;
        return false;
    }
    struct stat info;
    TargetState state = InspectTarget(target_, &info);
    if (state == kRefused) {
        Abort();
        return false;
    }
    int fd = static_cast<int>(handle_);
    handle_ = -1;  // Finish closes it
    if (!Finish(fd, state, info, newFileMode_)) {
        Abort();
        return false;
    }
    if (Replace(tempPath_, target_)) {
        tempPath_[0] = 0;
    } else if (errno != EXDEV || !CopyBesideAndReplace(tempPath_, target_, state, info, newFileMode_)) {
        Abort();
        return false;
    }
    Abort();  // the temporary file that was copied, if any
    SyncFolderOf(target_);
    return true;
}

void ReplacementFile::Abort() {
    int error = errno;
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (tempPath_[0]) ::unlink(tempPath_);
    tempPath_[0] = 0;
    errno = error;
}

}  // namespace qv
