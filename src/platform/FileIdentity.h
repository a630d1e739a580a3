// FileIdentity: what a file was when a table read it or wrote it, so that a
// later save can tell that file from one another writer put at its name.
// Times and the file's number alone cannot tell: a backup or sync tool moves
// times over the same bytes, and a copying tool puts old times back over new
// bytes; a digest of the bytes settles those cases.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// A 64-bit digest of a stream of bytes that does not depend on how the stream
// is cut into blocks: the reader and the writer cut it differently. Not a
// guard against someone who wants to collide on purpose: it tells an edit
// from the same bytes.
class ByteDigest {
public:
    void Add(const void* data, size_t bytes);
    uint64_t Value() const;
    uint64_t Bytes() const { return bytes_; }

private:
    uint64_t state_ = 0x9E3779B97F4A7C15ULL;
    uint64_t pending_ = 0;  // the bytes of an unfinished word, low byte first
    uint64_t bytes_ = 0;
};

struct FileIdentity {
    bool known = false;
    // Linux: st_dev and st_ino; Windows: the volume serial and file index.
    uint64_t device = 0, file = 0;
    uint64_t size = 0;
    // Modification and (Linux) status-change times in nanoseconds, or
    // Windows file time units: compared for equality only.
    int64_t modified = 0, changed = 0;
    // Linux: what a link found at the name is given instead of the file it
    // replaces.
    uint32_t mode = 0, owner = 0, group = 0;
    // The digest of the first digestBytes bytes of the file.
    uint64_t digest = 0, digestBytes = 0;
};

}  // namespace qv
