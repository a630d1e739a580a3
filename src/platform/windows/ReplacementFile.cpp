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
HANDLE CreateExclusive(const char* directory, char* path, size_t capacity) {
    static std::atomic<unsigned> counter{0};
    size_t length = strlen(directory);
    if (length + 16 > capacity) return INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned unique = (GetCurrentProcessId() << 16) ^ (GetTickCount() * 2654435761u) ^ counter.fetch_add(1);
        memcpy(path, directory, length);
        char* name = path + length;
        name[0] = 'q';
        name[1] = 'v';
        for (int i = 0; i < 8; ++i) name[2 + i] = "0123456789abcdef"[(unique >> (28 - 4 * i)) & 0xF];
        memcpy(name + 10, ".tmp", 5);
        HANDLE file =
            CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
int TargetState(const char* target) {
    DWORD attributes = GetFileAttributesA(target);
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
void KeepSecurity(const char* target, const char* replacement) {
    const SECURITY_INFORMATION kAll =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityA(target, kAll, nullptr, 0, &size);
    void* descriptor = size ? MemAlloc(size) : nullptr;
    if (!descriptor) return;
    if (GetFileSecurityA(target, kAll, descriptor, size, &size) && !SetFileSecurityA(replacement, kAll, descriptor))
        SetFileSecurityA(replacement, DACL_SECURITY_INFORMATION, descriptor);
    MemFree(descriptor);
}

bool Replace(const char* source, const char* target) {
    FileCallFails(FileCall::kReplace);
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Copies the closed file source into a new exclusive temporary file in the
// target's directory, flushed, and moves it onto the target. False, with
// nothing left of the copy, when any step fails.
bool CopyBesideAndReplace(const char* source, const char* target) {
    char directory[ReplacementFile::kPathCapacity];
    const char* slash = strrchr(target, '\\');
    const char* other = strrchr(target, '/');
    if (!slash || (other && other > slash)) slash = other;
    size_t length = slash ? static_cast<size_t>(slash - target) + 1 : 0;
    memcpy(directory, target, length);
    directory[length] = 0;

    HANDLE in =
        CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    char beside[ReplacementFile::kPathCapacity];
    HANDLE out = CreateExclusive(directory, beside, sizeof beside);
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
    if (!ok) DeleteFileA(beside);
    return ok;
}

}  // namespace

bool ReplacementFile::CanReplace(const char* target) { return TargetState(target) >= 0; }

bool ReplacementFile::Begin(const char* target, unsigned newFileMode) {
    Abort();
    newFileMode_ = newFileMode;  // permission bits have no meaning here
    size_t length = strlen(target);
    if (length == 0 || length >= sizeof target_) return false;
    memcpy(target_, target, length + 1);
    if (TargetState(target_) < 0) return false;

    char directory[MAX_PATH + 1];
    DWORD directoryLength = GetTempPathA(sizeof directory, directory);
    if (directoryLength == 0 || directoryLength >= sizeof directory) return false;
    HANDLE file = CreateExclusive(directory, tempPath_, sizeof tempPath_);
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
    if (tempPath_[0]) DeleteFileA(tempPath_);
    tempPath_[0] = 0;
}

}  // namespace qv
