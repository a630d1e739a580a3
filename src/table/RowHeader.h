// ROWHEADER: the record of one row of a table.
#pragma once

#include "platform/Platform.h"

// A row record and its cell array are two blocks from the COM task allocator.
// The cells own what they hold, except the loaded strings that live in the
// table's string blocks; VxASCOSPObject::ClearCell releases a cell. A row holds
// the cells up to its last field, which may be fewer than the table's columns:
// the columns past them are VT_EMPTY, and a write there grows the row.
struct ROWHEADER {
    LONG status;     // read/write status as getRWStatus reports it; OSPRW_READWRITE
    LONG cellCount;  // cells in the cell array, at most the table's column count
    VARIANT* cells;  // cell k is column k + 1

    // Cell k, or a VT_EMPTY value for a column past the row's cells.
    const VARIANT& CellOrEmpty(LONG k) const {
        static const VARIANT kEmpty = {};  // all zero: VT_EMPTY
        return k < cellCount ? cells[k] : kEmpty;
    }
};
