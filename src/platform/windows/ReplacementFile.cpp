// ReplacementFile over the Win32 API, with UTF-16 names throughout. The new
// contents are written to an exclusive temporary file (CREATE_NEW, no
// sharing) in the user's own temporary directory, whose access list admits
// the user alone, or beside the target when that directory cannot take it;
// flushed; moved (or, from another volume, copied into an owner-only file)
// beside the target; and put in the target's place by ReplaceFileW, which
// keeps the target's attributes, access list, owner, streams and encryption.
// Where that replace fails, the target's attributes and security descriptor
// are given to the new file and MoveFileEx with MOVEFILE_REPLACE_EXISTING
// replaces it.
#include "../ReplacementFile.h"

#include <string.h>
#include <wchar.h>

#include <atomic>

#include "../Alloc.h"
#include "FileIdentityOf.h"
#include "WindowsSdk.h"

namespace qv {
namespace {

// "qv" 8 hex digits ".tmp" and the terminator.
const size_t kNameRoom = 16;
const size_t kCopyBlock = 64 * 1024;
// The attributes that say how a file is to be treated, which a save keeps.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
const SECURITY_INFORMATION kSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A heap copy of the folder of target with its final separator ("" for a
// bare name); null when there is no memory.
wchar_t* FolderOf(const wchar_t* target) {
    const wchar_t* slash = wcsrchr(target, L'\\');
    const wchar_t* other = wcsrchr(target, L'/');
    if (!slash || (other && other > slash)) slash = other;
    size_t length = slash ? static_cast<size_t>(slash - target) + 1 : 0;
    auto* folder = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
    if (!folder) return nullptr;
    memcpy(folder, target, length * sizeof(wchar_t));
    folder[length] = 0;
    return folder;
}

// A heap copy of text; null when there is no memory.
wchar_t* CopyOf(const wchar_t* text) {
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(MemAlloc(bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

// Writes "<directory>qv<8 hex digits>.tmp" into path, which holds
// wcslen(directory) + kNameRoom characters; a new name at every call.
void MakeName(const wchar_t* directory, wchar_t* path) {
    static std::atomic<unsigned> counter{0};
    unsigned unique = (GetCurrentProcessId() << 16) ^ (GetTickCount() * 2654435761u) ^ counter.fetch_add(1);
    size_t length = wcslen(directory);
    memcpy(path, directory, length * sizeof(wchar_t));
    wchar_t* name = path + length;
    name[0] = L'q';
    name[1] = L'v';
    for (int i = 0; i < 8; ++i) name[2 + i] = L"0123456789abcdef"[(unique >> (28 - 4 * i)) & 0xF];
    memcpy(name + 10, L".tmp", 5 * sizeof(wchar_t));
}

bool NameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Creates a new file in directory (see MakeName), never opening one that
// exists, with the given security (null: the folder's). The handle, or
// INVALID_HANDLE_VALUE with path emptied.
HANDLE CreateExclusive(const wchar_t* directory, wchar_t* path, SECURITY_ATTRIBUTES* security) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        MakeName(directory, path);
        HANDLE file =
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (!NameTaken(GetLastError())) break;
    }
    path[0] = 0;
    return INVALID_HANDLE_VALUE;
}

// Renames the closed file source to a new name in directory (see MakeName),
// never replacing a file. False, with the error set, when it cannot (another
// volume gives ERROR_NOT_SAME_DEVICE).
bool MoveBeside(const wchar_t* source, const wchar_t* directory, wchar_t* path) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        MakeName(directory, path);
        if (MoveFileExW(source, path, MOVEFILE_WRITE_THROUGH)) return true;
        if (!NameTaken(GetLastError())) break;
    }
    path[0] = 0;
    return false;
}

bool WriteAll(HANDLE file, const void* data, size_t bytes) {
    if (FileCallFails(FileCall::kWrite)) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    const char* next = static_cast<const char*>(data);
    while (bytes > 0) {
        DWORD chunk = bytes > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes);
        DWORD written = 0;
        if (!WriteFile(file, next, chunk, &written, nullptr) || written == 0) return false;
        next += written;
        bytes -= written;
    }
    return true;
}

bool SyncToDisk(HANDLE file) {
    if (FileCallFails(FileCall::kFlush)) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return FlushFileBuffers(file) != 0;
}

// 1 when the target exists and may be replaced, 0 when it does not exist, -1
// when it must not be replaced (read-only, a directory, or not reachable).
int TargetState(const wchar_t* target) {
    DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : -1;
    }
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ? -1 : 1;
}

// The security descriptor of file in a MemAlloc block, with its size; null
// when it cannot be read.
void* ReadSecurity(const wchar_t* file, DWORD* size) {
    *size = 0;
    GetFileSecurityW(file, kSecurity, nullptr, 0, size);
    void* descriptor = *size ? MemAlloc(*size) : nullptr;
    if (descriptor && !GetFileSecurityW(file, kSecurity, descriptor, *size, size)) {
        MemFree(descriptor);
        descriptor = nullptr;
    }
    return descriptor;
}

// Gives file the owner, group and access list of descriptor, as far as this
// process may: setting another owner takes a privilege, and the access list
// is kept without it.
void WriteSecurity(const wchar_t* file, void* descriptor) {
    if (descriptor && !SetFileSecurityW(file, kSecurity, descriptor))
        SetFileSecurityW(file, DACL_SECURITY_INFORMATION, descriptor);
}

// What makes the target more than its bytes, read before it is replaced.
class Identity {
public:
    explicit Identity(const wchar_t* target)
        : attributes_(GetFileAttributesW(target)), descriptor_(ReadSecurity(target, &size_)) {}
    ~Identity() { MemFree(descriptor_); }
    Identity(const Identity&) = delete;
    Identity& operator=(const Identity&) = delete;

    // Gives file the target's security descriptor and kept attributes.
    void GiveTo(const wchar_t* file) const {
        WriteSecurity(file, descriptor_);
        SetAttributes(file);
    }
    // Gives them back to file, which has replaced the target, where the
    // replace did not keep them (not every implementation of ReplaceFileW does).
    void RestoreIn(const wchar_t* file) const {
        SetAttributes(file);
        DWORD size = 0;
        void* now = descriptor_ ? ReadSecurity(file, &size) : nullptr;
        if (descriptor_ && (!now || size != size_ || memcmp(now, descriptor_, size) != 0))
            WriteSecurity(file, descriptor_);
        MemFree(now);
    }

private:
    void SetAttributes(const wchar_t* file) const {
        if (attributes_ == INVALID_FILE_ATTRIBUTES) return;
        DWORD now = GetFileAttributesW(file);
        if (now == INVALID_FILE_ATTRIBUTES || (now & kKeptAttributes) == (attributes_ & kKeptAttributes)) return;
        SetFileAttributesW(file, (now & ~kKeptAttributes) | (attributes_ & kKeptAttributes));
    }

    DWORD attributes_;
    DWORD size_ = 0;
    void* descriptor_;
};

// A security descriptor whose access list admits the current user alone, not
// inheriting from the folder, in one MemAlloc block; null when it cannot be made.
void* OwnerOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    void* user = size ? MemAlloc(size) : nullptr;
    if (user && !GetTokenInformation(token, TokenUser, user, size, &size)) {
        MemFree(user);
        user = nullptr;
    }
    CloseHandle(token);
    if (!user) return nullptr;
    PSID sid = static_cast<TOKEN_USER*>(user)->User.Sid;
    DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    aclSize = (aclSize + 3) & ~3u;
    void* block = MemAlloc(sizeof(SECURITY_DESCRIPTOR) + aclSize);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(block);
    auto* acl = reinterpret_cast<ACL*>(descriptor + 1);
    bool made = block && InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                InitializeAcl(acl, aclSize, ACL_REVISION) &&
                AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) &&
                SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    MemFree(user);
    if (!made) {
        MemFree(block);
        return nullptr;
    }
    return block;
}

// Copies the closed file source into a new exclusive file in directory that
// admits its owner alone, flushed; path receives its name. False, with
// nothing left of the copy, when any step fails; *noMemory tells whether
// memory ran out.
bool CopyBeside(const wchar_t* source, const wchar_t* directory, wchar_t* path, bool* noMemory) {
    void* descriptor = OwnerOnlyDescriptor();
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!descriptor || !block) {
        MemFree(descriptor);
        MemFree(block);
        *noMemory = !block;
        return false;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    HANDLE in =
        CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    HANDLE out = in == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE : CreateExclusive(directory, path, &security);
    MemFree(descriptor);
    bool ok = out != INVALID_HANDLE_VALUE;
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(in, block, kCopyBlock, &got, nullptr)) ok = false;
        if (!ok || got == 0) break;
        ok = WriteAll(out, block, got);
    }
    MemFree(block);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out == INVALID_HANDLE_VALUE) return false;
    ok = ok && SyncToDisk(out);
    if (!CloseHandle(out)) ok = false;
    if (!ok) {
        DeleteFileW(path);
        path[0] = 0;
    }
    return ok;
}

// True when target could be deleted now: a program that holds it open
// without delete sharing keeps every replace out.
bool Deletable(const wchar_t* target) {
    HANDLE file = CreateFileW(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// The replace that keeps the target's identity: replacement must lie on the
// target's volume; the target moves to backup, which is replaced.
bool KeepingReplace(const wchar_t* replacement, const wchar_t* target, const wchar_t* backup) {
    if (FileCallFails(FileCall::kKeepingReplace)) {
        SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
        return false;
    }
    return ReplaceFileW(target, replacement, backup, 0, nullptr, nullptr) != 0;
}

bool Replace(const wchar_t* source, const wchar_t* target) {
    FileCallFails(FileCall::kReplace);
    return MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// "YYYYMMDD-HHMMSS" of the local time now.
void TimeStamp(wchar_t (&out)[32]) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    swprintf(out, 32, L"%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
}

// Renames the closed file source to base.kind-YYYYMMDD-HHMMSS[-N], never
// replacing a file; the new name in a MemAlloc block, or null when it cannot.
wchar_t* MoveToKeptName(const wchar_t* source, const wchar_t* base, const wchar_t* kind) {
    size_t room = wcslen(base) + wcslen(kind) + 48;
    auto* name = static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t)));
    if (!name) return nullptr;
    wchar_t stamp[32];
    TimeStamp(stamp);
    for (int n = 1; n < 1000; ++n) {
        if (n == 1)
            swprintf(name, room, L"%ls.%ls-%ls", base, kind, stamp);
        else
            swprintf(name, room, L"%ls.%ls-%ls-%d", base, kind, stamp, n);
        if (MoveFileExW(source, name, MOVEFILE_WRITE_THROUGH)) return name;
        if (!NameTaken(GetLastError())) break;
    }
    MemFree(name);
    return nullptr;
}

// The identity of the file at path, a link itself rather than its file.
FileIdentity IdentityAt(const wchar_t* path) {
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileIdentity();
    FileIdentity identity = FileIdentityOf(file);
    CloseHandle(file);
    return identity;
}

// True when the file at path is the one loaded: the same identity, or, where
// only its times or file index moved, the same bytes.
// before is what stood at the target just before a replace that moved the
// file (which moves its change time), or null.
bool IsLoadedFile(const wchar_t* path, const FileIdentity& loaded, const FileIdentity* before, bool* noMemory) {
    if (!loaded.known) return true;
    FileIdentity found = IdentityAt(path);
    if (!found.known || found.size != loaded.size) return false;
    if (before && before->known && before->device == found.device && before->file == found.file)
        found.changed = before->changed;
    if (found.device == loaded.device && found.file == loaded.file && found.modified == loaded.modified &&
        found.changed == loaded.changed)
        return true;
    char* block = static_cast<char*>(MemAlloc(kCopyBlock));
    if (!block) {
        *noMemory = true;
        return false;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ByteDigest sum;
    bool ok = file != INVALID_HANDLE_VALUE;
    while (ok && sum.Bytes() < loaded.digestBytes) {
        uint64_t left = loaded.digestBytes - sum.Bytes();
        DWORD got = 0;
        ok = ReadFile(file, block, left < kCopyBlock ? static_cast<DWORD>(left) : kCopyBlock, &got, nullptr) && got > 0;
        if (ok) sum.Add(block, got);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    MemFree(block);
    return ok && sum.Value() == loaded.digest;
}

}  // namespace

bool ReplacementFile::KeepAs(const char* kind, bool besideFirst) {
    if (!tempPath_ || !tempPath_[0]) return false;
    const wchar_t* wideKind = kind[0] == 'u' ? L"unsaved" : L"displaced";
    wchar_t* kept = besideFirst ? MoveToKeptName(tempPath_, target_, wideKind) : nullptr;
    if (!kept) {
        // Where the temporary file is, under the data file's own name.
        wchar_t* folder = FolderOf(tempPath_);
        const wchar_t* slash = wcsrchr(target_, L'\\');
        const wchar_t* leaf = slash ? slash + 1 : target_;
        size_t room = folder ? wcslen(folder) + wcslen(leaf) + 1 : 0;
        auto* base = folder ? static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t))) : nullptr;
        if (base) {
            swprintf(base, room, L"%ls%ls", folder, leaf);
            kept = MoveToKeptName(tempPath_, base, wideKind);
        } else {
            outOfMemory_ = true;
        }
        MemFree(base);
        MemFree(folder);
    }
    if (!kept) kept = CopyOf(tempPath_);  // still kept, under its temporary name
    MemFree(keptPath_);
    keptPath_ = kept;
    tempPath_[0] = 0;
    return kept != nullptr;
}

void ReplacementFile::SettleDisplaced(const void* displaced) {
    const auto* path = static_cast<const wchar_t*>(displaced);
    if (IsLoadedFile(path, loaded_, &before_, &outOfMemory_)) {
        DeleteFileW(path);
        return;
    }
    wchar_t* kept = MoveToKeptName(path, target_, L"displaced");
    if (!kept) kept = CopyOf(path);  // still kept, under the backup's name
    MemFree(keptPath_);
    keptPath_ = kept;
    kept_ = Kept::kDisplaced;
}

namespace {

// Takes the new file's identity and the digest of what was written.
FileIdentity WrittenIdentity(const wchar_t* target, const ByteDigest& digest) {
    FileIdentity identity = IdentityAt(target);
    identity.digest = digest.Value();
    identity.digestBytes = digest.Bytes();
    return identity;
}

}  // namespace

bool ReplacementFile::CanReplace(const PathChar* target, bool* outOfMemory) {
    if (outOfMemory) *outOfMemory = false;
    if (TargetState(target) < 0) return false;
    // The replace adds the new file to the target's folder: the folder is
    // asked for that right by opening it, which changes nothing.
    wchar_t* folder = FolderOf(target);
    if (!folder) {
        if (outOfMemory) *outOfMemory = true;
        return false;
    }
    HANDLE handle =
        CreateFileW(folder[0] ? folder : L".", FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    MemFree(folder);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

void ReplacementFile::FreeNames() {
    MemFree(tempPath_);
    MemFree(target_);
    MemFree(folder_);
    MemFree(keptPath_);
    tempPath_ = target_ = folder_ = keptPath_ = nullptr;
    kept_ = Kept::kNothing;
}

bool ReplacementFile::Begin(const PathChar* target, unsigned newFileMode, intptr_t, const FileIdentity* loaded) {
    Abort();
    FreeNames();
    outOfMemory_ = false;
    loaded_ = loaded ? *loaded : FileIdentity();
    written_ = FileIdentity();
    digest_ = ByteDigest();
    newFileMode_ = newFileMode;  // permission bits have no meaning here
    size_t length = wcslen(target);
    if (length == 0) return false;
    DWORD directorySize = GetTempPathW(0, nullptr);
    auto* directory = static_cast<wchar_t*>(MemAlloc((directorySize + 1) * sizeof(wchar_t)));
    target_ = static_cast<wchar_t*>(MemAlloc((length + 1) * sizeof(wchar_t)));
    folder_ = target_ ? FolderOf(target) : nullptr;
    size_t room = (directorySize > length ? directorySize : length) + kNameRoom;
    tempPath_ = folder_ ? static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t))) : nullptr;
    if (!directory || !tempPath_) {
        MemFree(directory);
        FreeNames();
        outOfMemory_ = true;
        return false;
    }
    memcpy(target_, target, (length + 1) * sizeof(wchar_t));
    tempPath_[0] = 0;
    if (TargetState(target_) < 0) {
        MemFree(directory);
        return false;
    }

    DWORD directoryLength = directorySize ? GetTempPathW(directorySize + 1, directory) : 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (directoryLength > 0 && directoryLength <= directorySize) file = CreateExclusive(directory, tempPath_, nullptr);
    MemFree(directory);
    // A temporary folder that cannot take the file (missing, full, not ours)
    // must not cost the edits: the file is made beside the data file instead,
    // admitting its owner alone, as the copy across volumes is.
    if (file == INVALID_HANDLE_VALUE) {
        void* descriptor = OwnerOnlyDescriptor();
        SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
        if (descriptor) file = CreateExclusive(folder_, tempPath_, &security);
        MemFree(descriptor);
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

bool ReplacementFile::Write(const void* data, size_t bytes) {
    if (handle_ == -1 || !WriteAll(AsHandle(handle_), data, bytes)) return false;
    digest_.Add(data, bytes);
    return true;
}

bool ReplacementFile::Commit() {
    outOfMemory_ = false;
    kept_ = Kept::kNothing;
    MemFree(keptPath_);
    keptPath_ = nullptr;
    if (handle_ == -1) return false;
    HANDLE file = AsHandle(handle_);
    bool ok = SyncToDisk(file);
    handle_ = -1;
    if (!CloseHandle(file)) ok = false;
    if (!ok) {
        Abort();
        return false;
    }
    // From here the new contents are whole: a commit that cannot put them in
    // the target's place keeps them.
    auto keepUnsaved = [this](bool beside) {
        DWORD error = GetLastError();
        KeepAs("unsaved", beside);
        kept_ = Kept::kUnsaved;
        Abort();
        SetLastError(error);
        return false;
    };
    // A read-only target is refused here rather than left to the replace, so
    // that the outcome does not depend on how the file system treats it.
    int state = TargetState(target_);
    auto* beside = static_cast<wchar_t*>(MemAlloc((wcslen(folder_) + kNameRoom) * sizeof(wchar_t)));
    if (!beside) {
        outOfMemory_ = true;
        Abort();
        return false;
    }
    // The new contents go beside the target first: the replace that keeps
    // the target's identity works within one volume, and a move across
    // volumes would be a copy that others could open while it is written.
    bool placed = MoveBeside(tempPath_, folder_, beside);
    if (!placed && GetLastError() == ERROR_NOT_SAME_DEVICE) {
        placed = CopyBeside(tempPath_, folder_, beside, &outOfMemory_);
        if (placed) DeleteFileW(tempPath_);
    }
    if (!placed) {
        MemFree(beside);
        if (outOfMemory_) {
            Abort();
            return false;
        }
        return keepUnsaved(true);
    }
    wcscpy(tempPath_, beside);  // it fits: tempPath_ has room for any name beside the target
    // A program that holds the target open without delete sharing keeps
    // every replace out.
    if (state < 0 || (state == 1 && !Deletable(target_))) {
        MemFree(beside);
        return keepUnsaved(true);
    }

    if (state == 1) {
        Identity identity(target_);
        // What the replace displaces goes to a name of its own, made now so
        // that no other file is ever overwritten.
        // It admits its owner alone, as every file the save makes does.
        void* descriptor = OwnerOnlyDescriptor();
        SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
        HANDLE backup = descriptor ? CreateExclusive(folder_, beside, &security) : INVALID_HANDLE_VALUE;
        MemFree(descriptor);
        if (backup != INVALID_HANDLE_VALUE) CloseHandle(backup);
        before_ = IdentityAt(target_);
        if (backup != INVALID_HANDLE_VALUE && KeepingReplace(tempPath_, target_, beside)) {
            tempPath_[0] = 0;
            identity.RestoreIn(target_);
            written_ = WrittenIdentity(target_, digest_);
            SettleDisplaced(beside);
            MemFree(beside);
            return true;
        }
        DWORD error = GetLastError();
        if (backup != INVALID_HANDLE_VALUE) {
            // The target moved to the backup name but the new file could not
            // follow: it goes back to its name.
            if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(beside, target_, MOVEFILE_WRITE_THROUGH);
            DeleteFileW(beside);  // the empty placeholder, where it is still one
        }
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
            TargetState(target_) != 1) {
            MemFree(beside);
            SetLastError(error);
            return keepUnsaved(true);
        }
        // The plain replace, with the identity handed over beforehand, and
        // another writer's file copied aside first: a window remains between
        // the check and the replace.
        identity.GiveTo(tempPath_);
        if (!IsLoadedFile(target_, loaded_, nullptr, &outOfMemory_)) {
            wchar_t* copy = nullptr;
            size_t room = wcslen(target_) + 48;
            wchar_t stamp[32];
            TimeStamp(stamp);
            copy = static_cast<wchar_t*>(MemAlloc(room * sizeof(wchar_t)));
            for (int n = 1; copy && n < 1000; ++n) {
                if (n == 1)
                    swprintf(copy, room, L"%ls.displaced-%ls", target_, stamp);
                else
                    swprintf(copy, room, L"%ls.displaced-%ls-%d", target_, stamp, n);
                if (CopyFileW(target_, copy, TRUE)) {
                    keptPath_ = copy;
                    kept_ = Kept::kDisplaced;
                    copy = nullptr;
                    break;
                }
                if (!NameTaken(GetLastError())) break;
            }
            MemFree(copy);
        }
    }
    MemFree(beside);
    if (!Replace(tempPath_, target_)) {
        if (kept_ == Kept::kDisplaced) {
            DeleteFileW(keptPath_);
            MemFree(keptPath_);
            keptPath_ = nullptr;
            kept_ = Kept::kNothing;
        }
        return keepUnsaved(true);
    }
    tempPath_[0] = 0;
    written_ = WrittenIdentity(target_, digest_);
    Abort();
    return true;
}

void ReplacementFile::Abort() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    handle_ = -1;
    if (tempPath_ && tempPath_[0]) DeleteFileW(tempPath_);
    if (tempPath_) tempPath_[0] = 0;
}

}  // namespace qv
