// FileReader: reads an existing file from start to end in blocks of the
// caller's size; other processes may read, write and
// delete the file meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FileIdentity.h"
#include "PathChar.h"

namespace qv {

class FileReader {
public:
    FileReader() = default;
    ~FileReader() { Close(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens an existing regular file for reading; false when it cannot.
    // The file's identity is taken from the open file before anything is read.
    bool Open(const PathChar* path);
    // Reads up to bytes into buffer: the count read, 0 at the end of the
    // file, -1 on a read error.
    long long Read(void* buffer, size_t bytes);
    void Close();
    // What the open file was before the first read, with the digest of the
    // bytes read since.
    FileIdentity Identity() const;

private:
    intptr_t handle_ = -1;  // file descriptor or HANDLE; -1 when closed
    FileIdentity identity_;
    ByteDigest digest_;
};

}  // namespace qv
