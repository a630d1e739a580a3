// The count of live data sources and tables.
#include "LiveObjects.h"

namespace qv {
namespace {
LONG volatile g_liveObjects = 0;
}

LONG LiveObjectCount() { return __atomic_load_n(&g_liveObjects, __ATOMIC_SEQ_CST); }
LiveObjectToken::LiveObjectToken() { InterlockedIncrement(&g_liveObjects); }
LiveObjectToken::~LiveObjectToken() { InterlockedDecrement(&g_liveObjects); }

}  // namespace qv
