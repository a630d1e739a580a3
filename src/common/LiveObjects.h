// Counts the data sources and tables alive in the process, so that the
// library never reports that it can unload while one of them is in use.
#pragma once

#include "platform/Platform.h"

namespace qv {

LONG LiveObjectCount();

// A member of every data source and table: it counts its owner from the
// start of construction until destruction, also when construction fails.
class LiveObjectToken {
public:
    LiveObjectToken();
    ~LiveObjectToken();
    LiveObjectToken(const LiveObjectToken&) = delete;
    LiveObjectToken& operator=(const LiveObjectToken&) = delete;
};

}  // namespace qv
