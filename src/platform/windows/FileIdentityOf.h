// The identity of an open file from its handle.
#pragma once

#include "../FileIdentity.h"
#include "WindowsSdk.h"

namespace qv {

inline FileIdentity FileIdentityOf(HANDLE file) {
    FileIdentity identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return identity;
    identity.known = true;
    identity.device = info.dwVolumeSerialNumber;
    identity.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                             info.ftLastWriteTime.dwLowDateTime);
    // The change time moves with every change of the file, its times
    // included; a file system without it gives 0, which compares equal.
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        identity.changed = basic.ChangeTime.QuadPart;
    return identity;
}

}  // namespace qv
