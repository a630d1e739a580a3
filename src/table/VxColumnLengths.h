// VxColumnLengths: for a column that find searches again, the length of each
// row's loaded field in it, a byte a row in one run, so that a search for a
// string passes over the rows of other lengths without reading the rows
// themselves. Made by the second search of a column in a row (a column
// searched once may never be searched again), kept up to date by setVariant,
// dropped when rows come or go.
//
// Thread safety: none; the table uses it under the row array's lock.
#pragma once

#include <cstdint>

#include "RowHeader.h"
#include "containers/VxArray.h"

class VxColumnLengths {
public:
    // The entry of a row whose cell is no loaded field shorter than it: read the row.
    static constexpr uint8_t kReadRow = 0xFF;

    VxColumnLengths() = default;
    ~VxColumnLengths() { Clear(); }
    VxColumnLengths(const VxColumnLengths&) = delete;
    VxColumnLengths& operator=(const VxColumnLengths&) = delete;

    // The lengths of cell k (column k + 1) of every entry of rows, or null:
    // on the first search of the column, and when the memory for them cannot
    // be had. The caller then reads the rows.
    const uint8_t* Get(LONG k, VxArray<ROWHEADER*>& rows, LONG columnCount);
    // A cell that an edit changed.
    void Changed(LONG k, LONG row, VxCell cell) {
        if (columns_ && k < columnCount_ && columns_[k]) columns_[k][row] = Entry(cell);
    }
    // Rows came or went: every column's lengths go.
    void Clear();

private:
    static uint8_t Entry(VxCell cell) {
        return cell.IsText() && cell.TextLength() < kReadRow ? static_cast<uint8_t>(cell.TextLength()) : kReadRow;
    }

    uint8_t** columns_ = nullptr;  // one entry a column, null until searched twice
    LONG columnCount_ = 0;
    LONG searched_ = -1;  // the column searched last without lengths
};
