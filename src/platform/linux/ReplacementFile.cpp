// ReplacementFile over POSIX: mkostemp for the exclusive, owner-only temporary
// file, fchown, fchmod and the extended attributes to take the target's, fsync,
// renameat2 within the target's folder as the atomic replace (an exchange
// where something stands at the name, so that what it displaced can be looked
// at) and an fsync of the folder after it.
#include "../ReplacementFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "../Alloc.h"
#include "FileIdentityOf.h"

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

// The same within the folder at: name ends in XXXXXX, which is filled in.
int CreateExclusiveAt(int at, char* name) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    size_t length = strlen(name);
    if (length < 6) return -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            uint64_t mixed = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL + attempt + ::time(nullptr);
            for (unsigned char& r : random) r = static_cast<unsigned char>(mixed >>= 7);
        }
        for (int i = 0; i < 6; ++i) name[length - 6 + i] = kLetters[random[i] % (sizeof kLetters - 1)];
        int fd = ::openat(at, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Moves an entry to a name that must be free, never putting it in the place of
// another; where the file system cannot rename that way, a second link and
// the removal of the first do the same.
bool MoveNoReplace(int fromAt, const char* from, int toAt, const char* to) {
    if (::renameat2(fromAt, from, toAt, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::linkat(fromAt, from, toAt, to, 0) != 0) return false;
    ::unlinkat(fromAt, from, 0);
    return true;
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

// Makes the replace itself durable: the folder's entries reach the disk too.
void SyncFolder(int folder) {
    FileCallFails(FileCall::kFolderFlush);
    int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (::fsync(fd) == 0) CountFolderFlushDone();
    ::close(fd);
}

// True when the folder lets this process put another file in the place of a
// file in it; file is that file's status, or null when it does not exist.
// In a sticky folder (such as /tmp) only the file's owner, the folder's owner
// or a privileged user may do that.
bool FolderLetsReplace(int folder, const struct stat* file) {
    struct stat info;
    if (::fstat(folder, &info) != 0) return false;
    if (::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
    if (!(info.st_mode & S_ISVTX)) return true;
    uid_t self = ::geteuid();
    return self == 0 || info.st_uid == self || (file && file->st_uid == self);
}

enum TargetState { kRefused, kMissing, kPresent, kLink };

// What stands at name in folder, never following a link, with its status in
// info when something does. A device, a pipe or a folder, or a file marked
// read-only, is refused, with errno set: the replace would put the file in
// its place without asking. With rights, so is a file this process may not
// write (rights taken away, a read-only file system).
TargetState InspectTarget(int folder, const char* name, struct stat* info, bool rights = true) {
    if (::fstatat(folder, name, info, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? kMissing : kRefused;
    if (S_ISLNK(info->st_mode)) return kLink;
    // access() alone says yes to root for any file; the bits make a
    // read-only file read-only for root too.
    if (!S_ISREG(info->st_mode) || (info->st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        (rights && ::faccessat(folder, name, W_OK, AT_EACCESS) != 0)) {
        errno = EACCES;
        return kRefused;
    }
    return kPresent;
}

// Gives the new file the owner, group and permission bits of the file it
// replaces, as far as this process may. Only root may give a file away, so
// another user's edit leaves the file to that user; a set-user-id or
// set-group-id bit then goes, since it would lend that user's rights.
bool TakeOwnerAndMode(int fd, uid_t owner, gid_t group, mode_t bits) {
    if (::fchown(fd, owner, group) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), group);
    struct stat now;
    if (::fstat(fd, &now) != 0) return false;
    mode_t mode = bits & 07777;
    if (now.st_uid != owner) mode &= ~S_ISUID;
    if (now.st_gid != group) mode &= ~S_ISGID;
    return ::fchmod(fd, mode) == 0;
}

const char kAccessList[] = "system.posix_acl_access";
const size_t kAttributeValueLimit = 64 * 1024;  // the largest value Linux holds

// Copies the extended attributes of from onto to, as far as to's file system
// and this process's rights allow: what cannot be copied is left out. The
// access list comes last, after the permission bits, which rewrite its mask.
// File capabilities are no data's: they would lend rights to whoever runs it.
void CopyAttributes(int from, int to, bool* noMemory) {
    ssize_t listed = ::flistxattr(from, nullptr, 0);
    if (listed <= 0) return;
    size_t listBytes = static_cast<size_t>(listed) + 1;
    char* names = static_cast<char*>(MemAlloc(listBytes + kAttributeValueLimit));
    if (!names) {
        *noMemory = true;
        return;
    }
    char* value = names + listBytes;
    listed = ::flistxattr(from, names, listBytes - 1);
    if (listed < 0) listed = 0;
    names[listed] = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const char* name = names; name < names + listed; name += strlen(name) + 1) {
            bool accessList = strcmp(name, kAccessList) == 0;
            if (accessList != (pass == 1) || strcmp(name, "security.capability") == 0) continue;
            ssize_t size = ::fgetxattr(from, name, value, kAttributeValueLimit);
            if (size >= 0) (void)::fsetxattr(to, name, value, static_cast<size_t>(size), 0);
        }
    }
    MemFree(names);
}

// Gives the temporary file fd what the target is beyond its bytes (its owner,
// bits and attributes from the open old file, or from what the caller loaded
// when a link stands at the name, or newFileMode for a new file) and flushes
// it. False, with errno set, when a step fails.
bool Finish(int fd, TargetState state, int old, const struct stat& info, const FileIdentity& loaded,
            unsigned newFileMode, bool* noMemory) {
    bool ok;
    if (state == kPresent) {
        struct stat source = info;
        if (old >= 0) (void)::fstat(old, &source);
        ok = TakeOwnerAndMode(fd, source.st_uid, source.st_gid, source.st_mode);
        if (ok && old >= 0) CopyAttributes(old, fd, noMemory);
    } else if (state == kLink && loaded.known) {
        ok = TakeOwnerAndMode(fd, loaded.owner, loaded.group, loaded.mode);
    } else {
        ok = ::fchmod(fd, newFileMode & 07777) == 0;
    }
    return ok && SyncToDisk(fd);
}

const size_t kCopyBlock = 64 * 1024;

// The digest of the first bytes bytes of the file at name; false when it
// cannot be read or is shorter.
bool DigestOf(int at, const char* name, uint64_t bytes, uint64_t* digest, bool* noMemory) {
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!block) {
        *noMemory = true;
        return false;
    }
    int fd = ::openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ByteDigest sum;
    bool ok = fd >= 0;
    while (ok && sum.Bytes() < bytes) {
        ssize_t got = ::read(fd, block, static_cast<size_t>(std::min<uint64_t>(kCopyBlock, bytes - sum.Bytes())));
        if (got < 0 && errno == EINTR) continue;
        ok = got > 0;
        if (ok) sum.Add(block, static_cast<size_t>(got));
    }
    if (fd >= 0) ::close(fd);
    MemFree(block);
    *digest = sum.Value();
    return ok;
}

// "YYYYMMDD-HHMMSS" of the local time now.
void TimeStamp(char (&out)[32]) {
    time_t now = ::time(nullptr);
    struct tm local;
    if (!::localtime_r(&now, &local) || !::strftime(out, sizeof out, "%Y%m%d-%H%M%S", &local)) strcpy(out, "0");
}

}  // namespace

bool ReplacementFile::CanReplace(const char* target, bool* outOfMemory) {
    char* folder = FolderOf(target);
    if (outOfMemory) *outOfMemory = !folder;
    if (!folder) return false;
    int at = ::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    MemFree(folder);
    if (at < 0) return false;
    const char* slash = strrchr(target, '/');
    struct stat info;
    TargetState state = InspectTarget(at, slash ? slash + 1 : target, &info);
    bool can = state != kRefused && FolderLetsReplace(at, state == kMissing ? nullptr : &info);
    ::close(at);
    return can;
}

void ReplacementFile::FreeNames() {
    MemFree(tempPath_);
    MemFree(target_);
    MemFree(folder_);
    MemFree(keptPath_);
    tempPath_ = target_ = folder_ = keptPath_ = nullptr;
    leaf_ = nullptr;
    if (folderHandle_ >= 0) ::close(static_cast<int>(folderHandle_));
    folderHandle_ = -1;
    kept_ = Kept::kNothing;
}

bool ReplacementFile::Begin(const char* target, unsigned newFileMode, intptr_t folder, const FileIdentity* loaded) {
    Abort();
    FreeNames();
    outOfMemory_ = false;
    newFileMode_ = newFileMode;
    loaded_ = loaded ? *loaded : FileIdentity();
    written_ = FileIdentity();
    digest_ = ByteDigest();
    tempBeside_ = false;
    if (!*target) return false;
    // The name itself, as the caller bound it: whatever stands there at the
    // commit, a link included, is what is replaced.
    size_t length = strlen(target);
    target_ = static_cast<char*>(MemAlloc(length + 1));
    if (target_) memcpy(target_, target, length + 1);
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
    const char* slash = strrchr(target_, '/');
    leaf_ = slash ? slash + 1 : target_;

    folderHandle_ = folder >= 0 ? ::fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0)
                                : ::open(folder_, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderHandle_ < 0) return false;
    // Rights taken away after the edits (from the file or its folder) do
    // not stop the writing: the commit then keeps the new contents.
    struct stat info;
    if (InspectTarget(static_cast<int>(folderHandle_), leaf_, &info, false) == kRefused) return false;

    int fd = CreateExclusive(
        JoinPath(tempPath_, directoryLength + 32, directory, directoryLength, "quorvel-XXXXXX") ? tempPath_ : nullptr);
    // A temporary folder that cannot take the file (missing, full, not ours)
    // must not cost the edits: the file is made beside the target instead, as
    // the copy across volumes is.
    if (fd < 0 && JoinPath(tempPath_, folderLength + 32, folder_, folderLength, ".quorvel-XXXXXX")) {
        fd = CreateExclusiveAt(static_cast<int>(folderHandle_), strrchr(tempPath_, '/') + 1);
        tempBeside_ = fd >= 0;
    }
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
    bool written = WriteAll(static_cast<int>(handle_), data, bytes) ||
                   ((errno == ENOSPC || errno == EDQUOT) && start >= 0 && ContinueBesideTarget(start) &&
                    WriteAll(static_cast<int>(handle_), data, bytes));
    if (written) digest_.Add(data, bytes);
    return written;
}

bool ReplacementFile::ContinueBesideTarget(long long keep) {
    // Only a temporary file in the temporary directory, on another file
    // system than the target's, can move: beside the target it would meet the
    // same full disk.
    int fd = static_cast<int>(handle_);
    struct stat temporary, folder;
    if (tempBeside_ || ::fstat(fd, &temporary) != 0 || ::fstat(static_cast<int>(folderHandle_), &folder) != 0 ||
        temporary.st_dev == folder.st_dev)
        return false;
    char* beside = Joined(folder_, ".quorvel-XXXXXX");
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!beside || !block) {
        MemFree(beside);
        MemFree(block);
        outOfMemory_ = true;
        return false;
    }
    char* besideName = beside[0] ? strrchr(beside, '/') + 1 : nullptr;
    int out = besideName ? CreateExclusiveAt(static_cast<int>(folderHandle_), besideName) : -1;
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
            ::unlinkat(static_cast<int>(folderHandle_), besideName, 0);
        }
        MemFree(beside);
        errno = error;
        return false;
    }
    Abort();                    // the file in the temporary directory
    strcpy(tempPath_, beside);  // tempPath_ has room for a name beside the target
    MemFree(beside);
    handle_ = out;
    tempBeside_ = true;
    return true;
}

bool ReplacementFile::KeepAs(const char* kind, bool besideFirst) {
    if (!tempPath_ || !tempPath_[0]) return false;
    (void)::fsync(static_cast<int>(handle_));
    int at = tempBeside_ ? static_cast<int>(folderHandle_) : AT_FDCWD;
    const char* name = tempBeside_ ? strrchr(tempPath_, '/') + 1 : tempPath_;
    // The temporary file's own folder, when it is not the target's.
    char* ownFolder = tempBeside_ ? nullptr : FolderOf(tempPath_);
    size_t room = strlen(leaf_) + strlen(kind) + 48;
    char* kept = static_cast<char*>(MemAlloc(room));
    char* path = static_cast<char*>(MemAlloc(room + strlen(folder_) + (ownFolder ? strlen(ownFolder) : 0)));
    bool moved = false;
    if (kept && path) {
        char stamp[32];
        TimeStamp(stamp);
        for (int place = besideFirst ? 0 : 1; place < 2 && !moved; ++place) {
            if (place == 1 && !ownFolder) break;
            int toAt = place == 0 ? static_cast<int>(folderHandle_) : AT_FDCWD;
            for (int n = 1; n < 1000 && !moved; ++n) {
                if (n == 1)
                    snprintf(kept, room, "%s.%s-%s", leaf_, kind, stamp);
                else
                    snprintf(kept, room, "%s.%s-%s-%d", leaf_, kind, stamp, n);
                JoinPath(path, room + strlen(folder_) + (ownFolder ? strlen(ownFolder) : 0),
                         place == 0 ? folder_ : ownFolder, strlen(place == 0 ? folder_ : ownFolder), kept);
                moved = MoveNoReplace(at, name, toAt, place == 0 ? kept : path);
                if (!moved && errno != EEXIST) break;
            }
        }
    } else {
        outOfMemory_ = true;
    }
    MemFree(kept);
    MemFree(ownFolder);
    MemFree(keptPath_);
    keptPath_ = nullptr;
    if (moved) {
        keptPath_ = path;
    } else {
        // Where it is, under its temporary name, it is still kept.
        MemFree(path);
        size_t length = strlen(tempPath_);
        keptPath_ = static_cast<char*>(MemAlloc(length + 1));
        if (keptPath_) memcpy(keptPath_, tempPath_, length + 1);
    }
    tempPath_[0] = 0;
    return moved;
}

bool ReplacementFile::KeepUnsaved(bool besideFirst) {
    int error = errno;
    KeepAs("unsaved", besideFirst);
    kept_ = Kept::kUnsaved;
    Abort();
    errno = error;
    return false;
}

void ReplacementFile::SettleDisplaced(const void* beforeExchange) {
    const struct stat* before = static_cast<const struct stat*>(beforeExchange);
    int at = tempBeside_ ? static_cast<int>(folderHandle_) : AT_FDCWD;
    const char* name = tempBeside_ ? strrchr(tempPath_, '/') + 1 : tempPath_;
    struct stat now;
    if (::fstatat(at, name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
        tempPath_[0] = 0;
        return;
    }
    bool ours = !loaded_.known;  // a caller that read nothing owns whatever was there
    if (!ours && S_ISREG(now.st_mode) && static_cast<uint64_t>(now.st_size) == loaded_.size) {
        FileIdentity found = FileIdentityOf(now);
        // The exchange moved the change time of what it displaced: the one
        // seen just before counts, when it was the same file.
        if (before && before->st_ino == now.st_ino && before->st_dev == now.st_dev)
            found.changed = FileIdentityOf(*before).changed;
        ours = found.device == loaded_.device && found.file == loaded_.file && found.modified == loaded_.modified &&
               found.changed == loaded_.changed;
        uint64_t digest = 0;
        if (!ours && DigestOf(at, name, loaded_.digestBytes, &digest, &outOfMemory_)) ours = digest == loaded_.digest;
    }
    if (ours) {
        ::unlinkat(at, name, 0);
        tempPath_[0] = 0;
        return;
    }
    KeepAs("displaced", true);
    kept_ = Kept::kDisplaced;
}

bool ReplacementFile::Commit() {
    outOfMemory_ = false;
    kept_ = Kept::kNothing;
    MemFree(keptPath_);
    keptPath_ = nullptr;
    if (handle_ < 0) {
        errno = EBADF;
        return false;
    }
    const int folder = static_cast<int>(folderHandle_);
    // The new file must be on the target's file system to take its place in
    // one step: from a temporary directory on another one, it is copied beside
    // the target first.
    struct stat temporary, folderInfo;
    if (!tempBeside_ && ::fstat(static_cast<int>(handle_), &temporary) == 0 && ::fstat(folder, &folderInfo) == 0 &&
        temporary.st_dev != folderInfo.st_dev) {
        off_t end = ::lseek(static_cast<int>(handle_), 0, SEEK_END);
        if (end < 0 || !ContinueBesideTarget(end)) {
            if (!outOfMemory_) return KeepUnsaved(false);
            Abort();
            return false;
        }
    }
    struct stat info;
    TargetState state = InspectTarget(folder, leaf_, &info);
    if (state == kRefused || !FolderLetsReplace(folder, state == kMissing ? nullptr : &info)) {
        if (state != kRefused) errno = EACCES;
        return KeepUnsaved(true);
    }
    int fd = static_cast<int>(handle_);
    int old = state == kPresent ? ::openat(folder, leaf_, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
    bool finished = Finish(fd, state, old, info, loaded_, newFileMode_, &outOfMemory_);
    if (old >= 0) ::close(old);
    if (!finished || outOfMemory_) {
        Abort();
        return false;
    }

    int at = tempBeside_ ? folder : AT_FDCWD;
    const char* name = tempBeside_ ? strrchr(tempPath_, '/') + 1 : tempPath_;
    FileCallFails(FileCall::kReplace);
    bool replaced = false, exchanged = false;
    if (state == kMissing) {
        replaced = MoveNoReplace(at, name, folder, leaf_);
        // Something came to the name meanwhile: it is exchanged like any other.
        if (!replaced && errno == EEXIST && ::fstatat(folder, leaf_, &info, AT_SYMLINK_NOFOLLOW) == 0) state = kPresent;
    }
    if (state != kMissing) {
        // One step: the new file takes the name and whatever stood there
        // takes the temporary name, where it is looked at.
        if (KeepingReplaceDisabled())
            errno = EINVAL;
        else
            exchanged = replaced = ::renameat2(at, name, folder, leaf_, RENAME_EXCHANGE) == 0;
        if (!replaced && (errno == EINVAL || errno == ENOSYS)) {
            // A file system that cannot exchange: what stands there gets a
            // second name of its own just before the rename, which leaves a
            // window in which another writer's file can still be lost.
            char* side = Joined(folder_, ".quorvel-XXXXXX");
            char* sideName = side && side[0] ? strrchr(side, '/') + 1 : nullptr;
            bool linked = false;
            for (int attempt = 0; sideName && attempt < 100 && !linked; ++attempt) {
                int probe = CreateExclusiveAt(folder, sideName);  // a free name
                if (probe < 0) break;
                ::close(probe);
                ::unlinkat(folder, sideName, 0);
                linked = ::linkat(folder, leaf_, folder, sideName, 0) == 0;
                if (!linked && errno != EEXIST) break;
            }
            replaced = ::renameat(at, name, folder, leaf_) == 0;
            if (linked && !replaced) ::unlinkat(folder, sideName, 0);
            if (linked && replaced) {
                tempBeside_ = true;
                strcpy(tempPath_, side);  // tempPath_ has room for a name beside the target
                exchanged = true;
            }
            MemFree(side);
        }
    }
    if (!replaced) return KeepUnsaved(true);
    struct stat written;
    if (::fstat(fd, &written) == 0) {
        written_ = FileIdentityOf(written);
        written_.digest = digest_.Value();
        written_.digestBytes = digest_.Bytes();
    }
    if (exchanged)
        SettleDisplaced(state == kPresent ? &info : nullptr);
    else
        tempPath_[0] = 0;
    Abort();  // closes the new file
    SyncFolder(folder);
    return true;
}

void ReplacementFile::Abort() {
    int error = errno;
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (tempPath_ && tempPath_[0]) {
        if (tempBeside_)
            ::unlinkat(static_cast<int>(folderHandle_), strrchr(tempPath_, '/') + 1, 0);
        else
            ::unlink(tempPath_);
    }
    if (tempPath_) tempPath_[0] = 0;
    errno = error;
}

}  // namespace qv
