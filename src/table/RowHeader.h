// ROWHEADER: the record of one row of a table.
#pragma once

#include "VxCell.h"
#include "platform/Platform.h"

// A row made by an edit is two blocks from the COM task allocator, its record
// and its cell array; an inserted row is its record alone (no cells, a null
// cell array) until a cell of it is written. A loaded row's record lives in
// the table's blocks, its cells right behind it unless the row is very wide,
// and its text (the line's bytes, which its text cells refer to) in a block of
// lines; when it grows, its new cells are a task allocator block. A cell owns
// the value it points to; VxASCOSPObject::ClearCell releases it.
// A row holds the cells up to its last field, which may be fewer than the
// table's columns: the columns past them are empty, and a write there grows
// the row.
struct ROWHEADER {
    LONG status;                // read/write status as getRWStatus reports it; OSPRW_READWRITE
    LONG cellCount;             // cells in the cell array, at most the table's column count
    VxCell* cells;              // cell k is column k + 1
    const unsigned char* text;  // a loaded row's line, where its text cells lie; null for a row an edit made

    // Where the cells of a loaded row lie until it grows, when they fit there.
    VxCell* CellsBehind() { return reinterpret_cast<VxCell*>(this + 1); }
    // Whether the record lives in the table's blocks.
    bool InBlock() const { return text != nullptr; }
    // Whether the cell array is a task allocator block of its own.
    bool CellsOnHeap() { return cells && (!InBlock() || cells != CellsBehind()); }

    // Cell k, or an empty cell for a column past the row's cells.
    VxCell CellOrEmpty(LONG k) const { return k < cellCount ? cells[k] : VxCell(); }
};

// The cells behind a record in the table's blocks stay aligned.
static_assert(sizeof(ROWHEADER) % alignof(VxCell) == 0, "cells behind a row record must be aligned");
