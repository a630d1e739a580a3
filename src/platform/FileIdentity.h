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
    // Word n of the stream goes into lane n % kLanes: the lanes' chains of
    // multiplies run side by side.
    static constexpr int kLanes = 4;
    void AddWord(uint64_t word) {
        uint64_t& lane = lanes_[(bytes_ >> 3) % kLanes];
        lane = Mix(lane, word);
        bytes_ += 8;
    }
    static uint64_t Mix(uint64_t state, uint64_t word) {
        state ^= word;
        state *= kMultiplier;
        return (state << 29) | (state >> 35);
    }
    static constexpr uint64_t kMultiplier = 0xFF51AFD7ED558CCDULL;
    uint64_t lanes_[kLanes] = {0x9E3779B97F4A7C15ULL, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL,
                               0x27D4EB2F165667C5ULL};
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
