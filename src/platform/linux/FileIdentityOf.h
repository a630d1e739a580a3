// The identity of a file from its status.
#pragma once

#include <sys/stat.h>

#include "../FileIdentity.h"

namespace qv {

inline FileIdentity FileIdentityOf(const struct stat& info) {
    FileIdentity identity;
    identity.known = true;
    identity.device = static_cast<uint64_t>(info.st_dev);
    identity.file = static_cast<uint64_t>(info.st_ino);
    identity.size = static_cast<uint64_t>(info.st_size);
    identity.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changed = static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    identity.mode = info.st_mode & 07777;
    identity.owner = info.st_uid;
    identity.group = info.st_gid;
    return identity;
}

}  // namespace qv
