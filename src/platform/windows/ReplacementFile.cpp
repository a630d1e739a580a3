// ReplacementFile over the Win32 API: CREATE_NEW for the exclusive temporary
// file, FlushFileBuffers, the target's security descriptor, and MoveFileEx
// with MOVEFILE_REPLACE_EXISTING as the atomic replace. The temporary file is
// opened without any sharing while it is written, so nobody else can open it,
// and it lies in the user's own temporary directory, whose access list admits
// the user alone (and the system).
#include "../ReplacementFile.h"

#include <string.h>

#include <atomic>

#include "../Alloc.h"
#include "WindowsSdk.h"

namespace qv {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Creates a new file "<directory>qv<8 hex digits>.tmp" (directory ends with a
// separator), never opening one that exists. The handle, or INVALID_HANDLE_VALUE;
// path receives the name.
HANDLE CreateExclusive(const wchar_t* directory, wchar_t* path, size_t capacity) {
    static std::atomic<unsigned> counter{0};
    size_t length = wcslen(directory);
    if (length + 16 > capacity) return INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned unique = (GetCurrentProcessId() << 16) ^ (GetTickCount() * 2654435761u) ^ counter.fetch_add(1);
        memcpy(path, directory, length * sizeof(wchar_t));
        wchar_t* name = path + length;
        name[0] = L'q';
        name[1] = L'v';
        for (int i = 0; i < 8; ++i) name[2 + i] = L"0123456789abcdef"[(unique >> (28 - 4 * i)) & 0xF];
        memcpy(name + 10, L".tmp", 5 * sizeof(wchar_t));
        HANDLE file =
            CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    path[0] = 0;
    return INVALID_HANDLE_VALUE;
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

// Gives the closed file replacement the owner, group and access list of
// target, as far as this process may: the temporary directory's own access
// list admits the user alone, and the data file may be shared. Best effort:
// setting another owner takes a privilege, and the rest is kept without it.
void KeepSecurity(const wchar_t* target, const wchar_t* replacement) {
    const SECURITY_INFORMATION kAll =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(target, kAll, nullptr, 0, &size);
    void* descriptor = size ? MemAlloc(size) : nullptr;
    if (!descriptor) return;
    if (GetFileSecurityW(target, kAll, descriptor, size, &size) && !SetFileSecurityW(replacement, kAll, descriptor))
        SetFileSecurityW(replacement, DACL_SECURITY_INFORMATION, descriptor);
    MemFree(descriptor);
}

bool Replace(const wchar_t* source, const wchar_t* target) {
    FileCallFails(FileCall::kReplace);
    return MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The folder of target with its final separator ("" for a bare name) into
// folder, which holds at least as many characters as target.
void FolderOf(const wchar_t* target, wchar_t* folder) {
    const wchar_t* slash = wcsrchr(target, L'\\');
    const wchar_t* other = wcsrchr(target, L'/');
    if (!slash || (other && other > slash)) slash = other;
    size_t length = slash ? static_cast<size_t>(slash - target) + 1 : 0;
    memcpy(folder, target, length * sizeof(wchar_t));
    folder[length] = 0;
}

// Copies the closed file source into a new exclusive temporary file in the
// target's directory, flushed, and moves it onto the target. False, with
// nothing left of the copy, when any step fails.
bool CopyBesideAndReplace(const wchar_t* source, const wchar_t* target) {
    wchar_t directory[ReplacementFile::kPathCapacity];
    FolderOf(target, directory);

    HANDLE in =
        CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    wchar_t beside[ReplacementFile::kPathCapacity];
    HANDLE out = CreateExclusive(directory, beside, ReplacementFile::kPathCapacity);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    bool ok = true;
    char block[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, block, sizeof block, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (!WriteAll(out, block, got)) {
            ok = false;
            break;
        }
    }
    CloseHandle(in);
    ok = ok && SyncToDisk(out);
    if (!CloseHandle(out)) ok = false;
    int state = ok ? TargetState(target) : -1;
    if (state == 1) KeepSecurity(target, beside);
    ok = state >= 0 && Replace(beside, target);
    if (!ok) DeleteFileW(beside);
    return ok;
}

}  // namespace

bool ReplacementFile::CanReplace(const PathChar* target) {
    if (TargetState(target) < 0) return false;
    // The replace adds the new file to the target's folder: the folder is
    // asked for that right by opening it, which changes nothing.
    auto* folder = static_cast<wchar_t*>(MemAlloc((wcslen(target) + 2) * sizeof(wchar_t)));
    if (!folder) return false;
    FolderOf(target, folder);
    if (!folder[0]) memcpy(folder, L".", 2 * sizeof(wchar_t));
    HANDLE handle = CreateFileW(folder, FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    MemFree(folder);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

bool ReplacementFile::Begin(const PathChar* target, unsigned newFileMode) {
    Abort();
    newFileMode_ = newFileMode;  // permission bits have no meaning here
    size_t length = wcslen(target);
    if (length == 0 || length >= kPathCapacity) return false;
    memcpy(target_, target, (length + 1) * sizeof(wchar_t));
    if (TargetState(target_) < 0) return false;

    wchar_t directory[kPathCapacity];
    DWORD directoryLength = GetTempPathW(kPathCapacity, directory);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (directoryLength > 0 && directoryLength < kPathCapacity)
        file = CreateExclusive(directory, tempPath_, kPathCapacity);
    // A temporary folder that cannot take the file (missing, full, not ours)
    // must not cost the edits: the file is made beside the data file instead,
    // as the copy across volumes is.
    if (file == INVALID_HANDLE_VALUE) {
        FolderOf(target_, directory);
        file = CreateExclusive(directory, tempPath_, kPathCapacity);
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(file);
    return true;
}

bool ReplacementFile::Write(const void* data, size_t bytes) {
    return handle_ != -1 && WriteAll(AsHandle(handle_), data, bytes);
}

bool ReplacementFile::Commit() {
    if (handle_ == -1) return false;
    HANDLE file = AsHandle(handle_);
    bool ok = SyncToDisk(file);
    handle_ = -1;
    if (!CloseHandle(file)) ok = false;
    // A read-only target is refused here rather than left to MoveFileEx, so
    // that the outcome does not depend on how the file system treats it.
    int state = ok ? TargetState(target_) : -1;
    if (state == 1) KeepSecurity(target_, tempPath_);
    ok = state >= 0;
    if (ok && Replace(tempPath_, target_)) {
        tempPath_[0] = 0;
        return true;
    }
    ok = ok && GetLastError() == ERROR_NOT_SAME_DEVICE && CopyBesideAndReplace(tempPath_, target_);
    Abort();
    return ok;
}

void ReplacementFile::Abort() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    handle_ = -1;
    if (tempPath_[0]) DeleteFileW(tempPath_);
    tempPath_[0] = 0;
}

}  // namespace qv
