// The write-failure hook that tests arm to stand in for a full disk.
#include <atomic>

#include "ReplacementFile.h"

namespace qv {
namespace {
std::atomic<long> g_writeCountdown{0};
}  // namespace

void SetWriteFailure(long nth) { g_writeCountdown.store(nth); }

bool WriteShouldFail() {
    long left = g_writeCountdown.load();
    while (left > 0) {
        if (g_writeCountdown.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

}  // namespace qv
