// ReplacementFile over POSIX: mkostemp for the exclusive, owner-only temporary
// file, fchown and fchmod to the target's owner and bits, fsync, rename as the
// atomic replace and an fsync of the folder after it.
#include "../ReplacementFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "../Alloc.h"
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

// A heap copy of the folder of path ("." for a bare file name); null when
// there is no memory.
char* FolderOf(const char* path) {
    const char* slash = strrchr(path, '/');
    size_t length = !slash ? 0 : slash == path ? 1 : static_cast<size_t>(slash - path);
    char* folder = static_cast<char*>(MemAlloc(length + 2));
    if (!folder) return nullptr;
    memcpy(folder, length ? path : ".", length ? length : 1);
    folder[length ? length : 1] = 0;
    return folder;
}

// A heap block that holds folder joined with name; null when there is no memory.
char* Joined(const char* folder, const char* name) {
    size_t capacity = strlen(folder) + strlen(name) + 2;
    char* out = static_cast<char*>(MemAlloc(capacity));
    if (out && !JoinPath(out, capacity, folder, strlen(folder), name)) out[0] = 0;
    return out;
}

// Creates a new file from the pattern in path (ending in XXXXXX), with mode
// 0600, failing rather than opening a name that exists. The descriptor, or -1.
int CreateExclusive(char* path) {
    if (!path) return -1;
    return mkostemp(path, O_CLOEXEC);
}

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
void SyncFolder(const char* folder) {
    FileCallFails(FileCall::kFolderFlush);
    int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// True when folder lets this process put another file in the place of a
// file in it; file is that file's status, or null when it does not exist.
// In a sticky folder (such as /tmp) only the file's owner, the folder's owner
// or a privileged user may do that.
bool FolderLetsReplace(const char* folder, const struct stat* file) {
    struct stat info;
    if (::stat(folder, &info) != 0) return false;
    if (::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) != 0) return false;
    if (!(info.st_mode & S_ISVTX)) return true;
    uid_t self = ::geteuid();
    return self == 0 || info.st_uid == self || (file && file->st_uid == self);
}

enum TargetState { kRefused, kMissing, kPresent };

// What target is, with its status in info when it exists. A target that is no
// regular file, has no write permission, or whose folder would refuse the
// replace is refused, with errno set.
TargetState InspectTarget(const char* target, const char* folder, struct stat* info) {
    if (::stat(target, info) != 0) {
        if (errno != ENOENT) return kRefused;
        if (FolderLetsReplace(folder, nullptr)) return kMissing;
        errno = EACCES;
        return kRefused;
    }
    // rename() would replace a read-only file, a device or a pipe without
    // asking: ask here.
    if (!S_ISREG(info->st_mode) || !HasWritePermission(target) || !FolderLetsReplace(folder, info)) {
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

const size_t kCopyBlock = 64 * 1024;

// Copies the closed file source into a new exclusive temporary file beside
// (a mkostemp pattern in the target's folder), finished as Finish does, and
// renames it onto the target. False, with nothing left of the copy, when any
// step fails; *noMemory tells whether memory ran out.
bool CopyBesideAndReplace(const char* source, char* beside, const char* target, TargetState state,
                          const struct stat& info, unsigned newFileMode, bool* noMemory) {
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!block) {
        *noMemory = true;
        return false;
    }
    int in = ::open(source, O_RDONLY | O_CLOEXEC);
    int out = in < 0 ? -1 : CreateExclusive(beside);
    if (out < 0) {
        if (in >= 0) ::close(in);
        MemFree(block);
        return false;
    }
    bool ok = true;
    for (;;) {
        ssize_t got = ::read(in, block, kCopyBlock);
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
    MemFree(block);
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

bool ReplacementFile::CanReplace(const char* target, bool* outOfMemory) {
    char* resolved = ::realpath(target, nullptr);
    const char* real = resolved ? resolved : target;
    char* folder = FolderOf(real);
    if (outOfMemory) *outOfMemory = !folder;
    struct stat info;
    bool can = folder && InspectTarget(real, folder, &info) != kRefused;
    MemFree(folder);
    ::free(resolved);
    return can;
}

void ReplacementFile::FreeNames() {
    MemFree(tempPath_);
    MemFree(target_);
    MemFree(folder_);
    tempPath_ = target_ = folder_ = nullptr;
}

bool ReplacementFile::Begin(const char* target, unsigned newFileMode) {
    Abort();
    FreeNames();
    outOfMemory_ = false;
    newFileMode_ = newFileMode;
    if (!*target) return false;
    // A symbolic link stays in place: the file it leads to is what is replaced.
    char* resolved = ::realpath(target, nullptr);
    const char* real = resolved ? resolved : target;
    size_t length = strlen(real);
    target_ = static_cast<char*>(MemAlloc(length + 1));
    if (target_) memcpy(target_, real, length + 1);
    ::free(resolved);
    folder_ = target_ ? FolderOf(target_) : nullptr;

    const char* directory = getenv("TMPDIR");
    if (!directory || !*directory) directory = "/tmp";
    // Room for the name in the temporary directory or beside the target.
    size_t folderLength = folder_ ? strlen(folder_) : 0;
    size_t directoryLength = strlen(directory);
    tempPath_ =
        folder_ ? static_cast<char*>(MemAlloc((directoryLength > folderLength ? directoryLength : folderLength) + 32))
                : nullptr;
    if (!tempPath_) {
        outOfMemory_ = true;
        FreeNames();
        return false;
    }
    tempPath_[0] = 0;

    struct stat info;
    if (InspectTarget(target_, folder_, &info) == kRefused) return false;

    int fd = CreateExclusive(
        JoinPath(tempPath_, directoryLength + 32, directory, directoryLength, "quorvel-XXXXXX") ? tempPath_ : nullptr);
    // A temporary folder that cannot take the file (missing, full, not ours)
    // must not cost the edits: the file is made beside the target instead, as
    // the copy across volumes is.
    if (fd < 0 && JoinPath(tempPath_, folderLength + 32, folder_, folderLength, ".quorvel-XXXXXX"))
        fd = CreateExclusive(tempPath_);
    if (fd < 0) {
        tempPath_[0] = 0;
        return false;
    }
    handle_ = fd;
    return true;
}

bool ReplacementFile::Write(const void* data, size_t bytes) {
    if (handle_ < 0) return false;
    // Where this block starts: a write that failed may have left part of it.
    off_t start = ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
    if (WriteAll(static_cast<int>(handle_), data, bytes)) return true;
    return (errno == ENOSPC || errno == EDQUOT) && start >= 0 && ContinueBesideTarget(start) &&
           WriteAll(static_cast<int>(handle_), data, bytes);
}

bool ReplacementFile::ContinueBesideTarget(long long keep) {
    // Only a temporary file in the temporary directory, on another file
    // system than the target's, can move: beside the target it would meet the
    // same full disk.
    int fd = static_cast<int>(handle_);
    struct stat temporary, folder;
    if (::fstat(fd, &temporary) != 0 || ::stat(folder_, &folder) != 0 || temporary.st_dev == folder.st_dev)
        return false;
    char* beside = Joined(folder_, ".quorvel-XXXXXX");
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!beside || !block) {
        MemFree(beside);
        MemFree(block);
        outOfMemory_ = true;
        return false;
    }
    int out = beside[0] ? CreateExclusive(beside) : -1;
    bool ok = out >= 0;
    // What was written so far goes along.
    for (off_t at = 0; ok && at < keep;) {
        ssize_t got = ::pread(fd, block, std::min<off_t>(kCopyBlock, keep - at), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = WriteAll(out, block, static_cast<size_t>(got));
        at += got;
    }
    MemFree(block);
    if (!ok) {
        int error = errno;
        if (out >= 0) {
            ::close(out);
            ::unlink(beside);
        }
        MemFree(beside);
        errno = error;
        return false;
    }
    Abort();  // the file in the temporary directory
    strcpy(tempPath_, beside);  // tempPath_ has room for a name beside the target
    MemFree(beside);
    handle_ = out;
    return true;
}

bool ReplacementFile::Commit() {
    outOfMemory_ = false;
    if (handle_ < 0) {
        errno = EBADF;
        return false;
    }
    struct stat info;
    TargetState state = InspectTarget(target_, folder_, &info);
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
    } else {
        bool otherVolume = errno == EXDEV;
        char* beside = otherVolume ? Joined(folder_, ".quorvel-XXXXXX") : nullptr;
        if (otherVolume && !beside) outOfMemory_ = true;
        bool copied = beside && beside[0] &&
                      CopyBesideAndReplace(tempPath_, beside, target_, state, info, newFileMode_, &outOfMemory_);
        MemFree(beside);
        if (!copied) {
            Abort();
            return false;
        }
    }
    Abort();  // the temporary file that was copied, if any
    SyncFolder(folder_);
    return true;
}

void ReplacementFile::Abort() {
    int error = errno;
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (tempPath_ && tempPath_[0]) ::unlink(tempPath_);
    if (tempPath_) tempPath_[0] = 0;
    errno = error;
}

}  // namespace qv
