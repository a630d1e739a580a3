// ROWHEADER: the record of one row of a table.
#pragma once

#include "platform/Platform.h"

// A row made by an edit is two blocks from the COM task allocator, its record
// and its cell array; an inserted row is its record alone (no cells, a null
// cell array) until a cell of it is written. A loaded row lives in the
// table's blocks, its cells right behind its record, until it grows: its new
// cells are then a task allocator block. The cells own what they hold, except
// the loaded strings that live in the table's blocks;
// VxASCOSPObject::ClearCell releases a cell.
// A row holds the cells up to its last field, which may be fewer than the
// table's columns: the columns past them are VT_EMPTY, and a write there grows
// the row.
struct ROWHEADER {
    LONG status;     // read/write status as getRWStatus reports it; OSPRW_READWRITE
    LONG cellCount;  // cells in the cell array, at most the table's column count
    VARIANT* cells;  // cell k is column k + 1
    LONG inBlock;    // nonzero: the record lives in the table's blocks

    // Where the cells of a row in the table's blocks lie until it grows.
    VARIANT* CellsBehind() { return reinterpret_cast<VARIANT*>(this + 1); }
    // Whether the cell array is a task allocator block of its own.
    bool CellsOnHeap() { return !inBlock || cells != CellsBehind(); }

    // Cell k, or a VT_EMPTY value for a column past the row's cells.
    const VARIANT& CellOrEmpty(LONG k) const {
        static const VARIANT kEmpty = {};  // all zero: VT_EMPTY
        return k < cellCount ? cells[k] : kEmpty;
    }
};

// The cells behind a record in the table's blocks stay aligned.
static_assert(sizeof(ROWHEADER) % alignof(VARIANT) == 0, "cells behind a row record must be aligned");
