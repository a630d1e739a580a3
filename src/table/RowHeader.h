// ROWHEADER: the record of one row of a table.
#pragma once

#include "platform/Platform.h"

// A row record and its cell array are two blocks from the COM task allocator.
// The cells own what they hold and are released with VariantClear.
struct ROWHEADER {
    LONG status;     // read/write status as getRWStatus reports it; OSPRW_READWRITE
    VARIANT* cells;  // exactly the table's column count cells; cell k is column k + 1
};
