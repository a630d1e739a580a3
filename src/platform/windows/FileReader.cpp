// FileReader over Win32 file handles.
#include "../FileReader.h"

#include "FileIdentityOf.h"
#include "WindowsSdk.h"

namespace qv {

namespace {
HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

bool FileReader::Open(const PathChar* path) {
    Close();
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    identity_ = FileIdentityOf(file);
    digest_ = ByteDigest();
    return true;
}

long long FileReader::Read(void* buffer, size_t bytes) {
    if (handle_ == -1) return -1;
    DWORD wanted = bytes > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), buffer, wanted, &got, nullptr)) return -1;
    digest_.Add(buffer, got);
    return got;
}

FileIdentity FileReader::Identity() const {
    FileIdentity identity = identity_;
    identity.digest = digest_.Value();
    identity.digestBytes = digest_.Bytes();
    return identity;
}

void FileReader::Close() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

}  // namespace qv
