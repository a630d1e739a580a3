// VxColumnLengths: for a column that find searches again, the length of each
// row's loaded field in it, a byte a row in one run, so that a search for a
// string passes over the rows of other lengths without reading the rows
// themselves. Given to the second search of a column in a row (a column
// searched once may never be searched again) with every row unknown; each
// search that reads a row notes its length. Kept up to date by setVariant,
// dropped when rows come or go.
//
// Thread safety: none; the table uses it under the row array's lock.
#pragma once

#include <cstdint>

#include "RowHeader.h"

class VxColumnLengths {
public:
    // The entry of a row not yet read, or whose cell is no loaded field
    // shorter than it: read the row.
    static constexpr uint8_t kReadRow = 0xFF;

    VxColumnLengths() = default;
    ~VxColumnLengths() { Clear(); }
    VxColumnLengths(const VxColumnLengths&) = delete;
    VxColumnLengths& operator=(const VxColumnLengths&) = delete;

    // The lengths of cell k (column k + 1) in rows 0 to rowEntries - 1, for
    // the caller to read and to fill with Entry of each row it reads; null on
    // the first search of the column, and when the memory for them cannot be
    // had.
    uint8_t* Get(LONG k, LONG rowEntries, LONG columnCount);
    // What the lengths hold for a row whose cell is cell.
    static uint8_t Entry(VxCell cell) {
        return cell.IsText() && cell.TextLength() < kReadRow ? static_cast<uint8_t>(cell.TextLength()) : kReadRow;
    }
    // A cell that an edit changed.
    void Changed(LONG k, LONG row, VxCell cell) {
        if (columns_ && k < columnCount_ && columns_[k]) columns_[k][row] = Entry(cell);
    }
    // Rows came or went: every column's lengths go.
    void Clear();

private:
    uint8_t** columns_ = nullptr;  // one entry a column, null until searched twice
    LONG columnCount_ = 0;
    LONG searched_ = -1;  // the column searched last without lengths
};
