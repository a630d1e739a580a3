// ReplacementFile: writes the new contents of a file beside it in a temporary
// file and then puts them in its place in one atomic replace, so that the
// file on disk is at every moment either its old or its new complete self.
// The one way the library rewrites a file: the table's save and, on Linux,
// the registry file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "FileIdentity.h"
#include "PathChar.h"
#include "TestHooks.h"

namespace qv {

class ReplacementFile {
public:
    ReplacementFile() = default;
    // Abandons an uncommitted replacement: its temporary file is deleted.
    ~ReplacementFile() {
        Abort();
        FreeNames();
    }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // True when Begin and Commit may replace target as it stands now: it does
    // not exist, is a link (which the replace puts aside, never follows), or
    // it is a regular file with write permission (see HasWritePermission);
    // and (Linux) its folder lets this process put another file in its place. Nothing is opened or created. False too,
    // with *outOfMemory set (when given), when memory ran out before it could
    // tell.
    static bool CanReplace(const PathChar* target, bool* outOfMemory = nullptr);

    // Starts replacing target, refusing a target that CanReplace refuses.
    // Creates the temporary file in the temporary directory (TMPDIR or /tmp on
    // Linux, GetTempPath on Windows) exclusively, never opening a name that
    // already exists, and readable by its owner only; where that directory
    // cannot take it, the file is made the same way beside the target.
    // newFileMode is the permission bits (Linux) that target receives if it
    // does not exist at the commit. folder (Linux) is a descriptor of
    // target's folder held since the caller named it: the replace then acts
    // within that folder whatever its name leads to now; -1 opens it by name.
    // loaded is the file the caller read, if any: whatever else the commit
    // displaces is kept (see WhatWasKept). A folder that refuses the replace
    // is not refused here: the new contents are kept when the commit meets
    // it. False when no file could be made.
    bool Begin(const PathChar* target, unsigned newFileMode = 0600, intptr_t folder = -1,
               const FileIdentity* loaded = nullptr);
    // Appends bytes to the temporary file; false when the write fails. A
    // temporary directory on another file system than the target's that
    // runs out of space costs no save: the file moves beside the target
    // (Linux), where the writing goes on.
    bool Write(const void* data, size_t bytes);
    // Flushes the temporary file to stable storage and puts it in the
    // target's place with one replace that keeps what the target is beyond
    // its bytes. Linux: the file takes the target's owner, group and
    // permission bits before the flush, is renamed onto the target, and the
    // folder is flushed after it. Windows: the file is first moved beside the
    // target and ReplaceFileW keeps the target's attributes, security,
    // streams and encryption; where that fails, the file takes the target's
    // attributes and security descriptor and MoveFileEx replaces it. From a
    // temporary directory on another volume the file is first copied into a
    // new owner-only temporary file beside the target. Whatever stands at the
    // target's name is replaced, a link included, never followed (Linux:
    // exchanged with the new file in one step where the file system can).
    // True when the new contents are in place; what they displaced is
    // deleted when it is the loaded file (or this object's last commit), else
    // kept as target.displaced-YYYYMMDD-HHMMSS[-N]. On false the target is as
    // it was and (Linux) errno tells why; new contents that were written
    // whole are kept as target.unsaved-YYYYMMDD-HHMMSS[-N], beside the target
    // where its folder takes them, else in the temporary directory, and
    // nothing else remains.
    bool Commit();
    // Closes and deletes the temporary file, if any.
    void Abort();
    // True when the last Begin or Commit failed for want of memory.
    bool OutOfMemory() const { return outOfMemory_; }
    // The file the last successful Commit put at the target's name, with the
    // digest of its bytes: what the next save compares the name with.
    const FileIdentity& Written() const { return written_; }

    // What the last Commit kept aside rather than destroy: the file its
    // replace displaced when that was not the file the table loaded, or the
    // new contents that were written whole but could not take the target's
    // place. KeptPath is that file's name in the system's spelling, valid
    // until the next Begin; null when nothing was kept.
    enum class Kept { kNothing, kDisplaced, kUnsaved };
    Kept WhatWasKept() const { return kept_; }
    const PathChar* KeptPath() const { return keptPath_; }

private:
    void FreeNames();
    // Gives the temporary file a kept name; false when it cannot.
    bool KeepAs(const char* kind, bool besideFirst);
    // Keeps the new contents, written whole, that cannot take the target's
    // place, and fails the commit with errno as it was (Linux).
    bool KeepUnsaved(bool besideFirst);
    // What stands at the temporary name after an exchange: deleted when it
    // is the loaded file, else kept as displaced.
    void SettleDisplaced(const void* before);
    // Moves the temporary file, its first keep bytes, beside the target
    // (Linux); false when it cannot or need not.
    bool ContinueBesideTarget(long long keep);

    // The names live on the heap: a save runs on whichever thread releases
    // the table, and that thread's stack is the client's.
    intptr_t handle_ = -1;            // the open temporary file; -1 when none
    PathChar* tempPath_ = nullptr;    // the temporary file; null or empty when none
    PathChar* target_ = nullptr;      // the file to replace
    PathChar* folder_ = nullptr;      // the target's folder
    const PathChar* leaf_ = nullptr;  // target's last component, within target_
    intptr_t folderHandle_ = -1;      // (Linux) target's folder, owned; -1 when none
    bool tempBeside_ = false;         // (Linux) the temporary file is in folderHandle_, by its last component
    unsigned newFileMode_ = 0600;     // the bits of a target made by the commit
    FileIdentity loaded_;             // what the caller read; unknown when none
    FileIdentity written_;            // what the last Commit put in place
    FileIdentity before_;             // (Windows) what stood at the target just before the replace
    ByteDigest digest_;               // of the bytes written since Begin
    bool outOfMemory_ = false;
    Kept kept_ = Kept::kNothing;    // what the last Commit kept aside
    PathChar* keptPath_ = nullptr;  // where; null when nothing
};

}  // namespace qv
