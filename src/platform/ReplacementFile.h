// ReplacementFile: writes the new contents of a file beside it in a temporary
// file and then puts them in its place in one atomic replace, so that the
// file on disk is at every moment either its old or its new complete self.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Test hook standing in for a full disk: the nth write or flush to stable
// storage from now fails (1 = the next one); 0 disarms.
void SetWriteFailure(long nth);
// Counts one write or flush; true when the hook says that this one must fail.
bool WriteShouldFail();

class ReplacementFile {
public:
    ReplacementFile() = default;
    // Abandons an uncommitted replacement: its temporary file is deleted.
    ~ReplacementFile() { Abort(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Starts replacing target. Refuses a target that exists but is read-only;
    // creates the temporary file in the temporary directory (TMPDIR or /tmp on
    // Linux, GetTempPath on Windows) exclusively, never opening a name that
    // already exists, and readable by its owner only. False when either fails.
    bool Begin(const char* target);
    // Appends bytes to the temporary file; false when the write fails.
    bool Write(const void* data, size_t bytes);
    // Flushes the temporary file to stable storage, gives it the target's
    // permission bits (Linux) and puts it in the target's place with one
    // atomic replace. When the temporary directory lies on another volume it
    // is first copied into a new temporary file beside the target. True when
    // the new contents are in place; on false the target is as it was. Either
    // way no temporary file remains.
    bool Commit();
    // Closes and deletes the temporary file, if any.
    void Abort();

    static constexpr size_t kPathCapacity = 4096;

private:
    intptr_t handle_ = -1;               // the open temporary file; -1 when none
    char tempPath_[kPathCapacity] = {};  // the temporary file; empty when none
    char target_[kPathCapacity] = {};    // the file to replace
};

}  // namespace qv
