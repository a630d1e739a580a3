// The count of live data sources and tables.
#include "LiveObjects.h"

#include <atomic>

namespace qv {
namespace {
std::atomic<LONG> g_liveObjects{0};
}

LONG LiveObjectCount() { return g_liveObjects.load(); }
LiveObjectToken::LiveObjectToken() { ++g_liveObjects; }
LiveObjectToken::~LiveObjectToken() { --g_liveObjects; }

}  // namespace qv
