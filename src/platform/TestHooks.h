// The hooks through which tests make the platform fail where a real system
// fails rarely (memory, disk, file-system features) and watch the calls that
// decide durability. The library only asks them; nothing but a test arms them.
#pragma once

#include <cstddef>

namespace qv {

// Allocations (Alloc.h). Arms the hook: the nth allocation from now fails
// (1 = the next one); 0 disarms.
void SetAllocFailure(long nth);
// Allocations asked for since the last ResetAllocCount, failed ones included.
long AllocCount();
void ResetAllocCount();
// Counts one allocation; true when the hook says that this one must fail.
bool AllocShouldFail();

// ArrayBytes counts products above limit as overflowing, as they would where
// size_t is that narrow (a 32-bit build); 0 restores the platform's own limit.
void SetSizeLimit(size_t limit);
// AllocBstrLen counts strings longer than limit as too long, so that a test
// needs no field of 2^31 characters; 0 restores kLongestBstr.
void SetBstrLengthLimit(size_t limit);

// The file calls of a replacement (ReplacementFile.h) that matter to
// durability, as the hooks see them.
enum class FileCall {
    kWrite,           // data appended to a temporary file
    kFlush,           // a temporary file flushed to stable storage
    kReplace,         // a temporary file put in the target's place
    kFolderFlush,     // the target's folder flushed, so that the replace lasts
    kKeepingReplace,  // (Windows) a file beside the target replaces it, keeping its identity
};

// The observer hears of every file call of every replacement, just
// before the call is made; null removes it.
typedef void (*FileCallObserver)(FileCall call);
void SetFileCallObserver(FileCallObserver observer);
// A full disk: the nth write or flush from now
// fails (1 = the next one); 0 disarms.
void SetWriteFailure(long nth);
// While armed, every replace that keeps the target's identity
// (Linux: the exchange of the new file with what stands at the name) fails as
// where the file system does not offer it, so that the plain replace takes
// over.
void SetKeepingReplaceFailure(bool fail);
bool KeepingReplaceDisabled();
// How many folder flushes, in this process so far, opened the
// folder and flushed it; the replacement counts each one.
long FolderFlushesDone();
void CountFolderFlushDone();
// Tells the observer of one call and counts a write or flush; true when the
// write-failure hook, or for a keeping replace its own hook, says that this
// one must fail.
bool FileCallFails(FileCall call);

}  // namespace qv
