// ROWHEADER: the record of one row of a table.
#pragma once

#include <cstdint>

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
//
// A loaded row of a line shorter than kCompactLine keeps its cells in half
// the room, four bytes each behind the record (its cell array pointer then
// null): a field's offset in 16 bits and its length in 15 beside a set low
// bit. Its first edit gives it eight-byte cells (VxASCOSPObject::GrowRow).
struct ROWHEADER {
    LONG status;                // read/write status as getRWStatus reports it; OSPRW_READWRITE
    LONG cellCount;             // cells in the cell array, at most the table's column count
    VxCell* cells;              // cell k is column k + 1; null for a compact row
    const unsigned char* text;  // a loaded row's line, where its text cells lie; null for a row an edit made

    static constexpr size_t kCompactLine = 0x8000;

    // Where the cells of a loaded row lie until it grows, when they fit there.
    VxCell* CellsBehind() { return reinterpret_cast<VxCell*>(this + 1); }
    uint32_t* CompactCells() { return reinterpret_cast<uint32_t*>(this + 1); }
    const uint32_t* CompactCells() const { return reinterpret_cast<const uint32_t*>(this + 1); }
    static uint32_t CompactCell(size_t offset, size_t length) {
        return static_cast<uint32_t>(offset << 16 | length << 1 | 1);
    }
    // Whether the record lives in the table's blocks.
    bool InBlock() const { return text != nullptr; }
    // Whether the row keeps four-byte cells.
    bool Compact() const { return !cells && cellCount > 0; }
    // Whether the cell array is a task allocator block of its own.
    bool CellsOnHeap() { return cells && (!InBlock() || cells != CellsBehind()); }

    // Cell k, or an empty cell for a column past the row's cells.
    VxCell CellOrEmpty(LONG k) const {
        if (k >= cellCount) return VxCell();
        if (cells) return cells[k];
        const uint32_t word = CompactCells()[k];
        return VxCell::Text(word >> 16, (word & 0xFFFF) >> 1);
    }
    // Where cell k lies, for a fetch ahead of its reading.
    const void* CellAddress(LONG k) const {
        return cells ? static_cast<const void*>(cells + k) : static_cast<const void*>(CompactCells() + k);
    }
};

// The cells behind a record in the table's blocks stay aligned.
static_assert(sizeof(ROWHEADER) % alignof(VxCell) == 0, "cells behind a row record must be aligned");
