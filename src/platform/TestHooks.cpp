// The hooks of TestHooks.h on the file calls of a replacement: an observer
// that records them, a write failure that stands in for a full disk and a
// replace that keeps no identity.
#include <atomic>

#include "TestHooks.h"

namespace qv {
namespace {
std::atomic<FileCallObserver> g_observer{nullptr};
std::atomic<long> g_writeCountdown{0};
std::atomic<bool> g_keepingReplaceFails{false};
std::atomic<long> g_folderFlushes{0};
}  // namespace

void CountFolderFlushDone() { ++g_folderFlushes; }
long FolderFlushesDone() { return g_folderFlushes.load(); }
bool KeepingReplaceDisabled() { return g_keepingReplaceFails.load(); }

void SetFileCallObserver(FileCallObserver observer) { g_observer.store(observer); }

void SetWriteFailure(long nth) { g_writeCountdown.store(nth); }

void SetKeepingReplaceFailure(bool fail) { g_keepingReplaceFails.store(fail); }

bool FileCallFails(FileCall call) {
    if (FileCallObserver observer = g_observer.load()) observer(call);
    if (call == FileCall::kKeepingReplace) return g_keepingReplaceFails.load();
    if (call != FileCall::kWrite && call != FileCall::kFlush) return false;
    long left = g_writeCountdown.load();
    while (left > 0) {
        if (g_writeCountdown.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

}  // namespace qv
