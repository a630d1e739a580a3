#include "VxColumnLengths.h"

#include <cstring>

#include "platform/Alloc.h"
#include "platform/Compiler.h"

const uint8_t* VxColumnLengths::Get(LONG k, VxArray<ROWHEADER*>& rows, LONG columnCount) {
    if (columns_ && k < columnCount_ && columns_[k]) return columns_[k];
    if (searched_ != k) {
        searched_ = k;
        return nullptr;
    }
    if (!columns_) {
        size_t bytes = 0;
        if (!qv::ArrayBytes(static_cast<size_t>(columnCount), sizeof(uint8_t*), &bytes)) return nullptr;
        columns_ = static_cast<uint8_t**>(qv::MemAlloc(bytes));
        if (!columns_) return nullptr;
        std::memset(static_cast<void*>(columns_), 0, bytes);
        columnCount_ = columnCount;
    }
    if (k >= columnCount_) return nullptr;
    const int count = rows.GetSize();
    auto* lengths = static_cast<uint8_t*>(qv::BulkAlloc(static_cast<size_t>(count)));
    if (!lengths) return nullptr;
    // The records and cells of rows ahead are fetched while this one is read.
    const int kRecordsAhead = 32, kCellsAhead = 16;
    for (int r = 0; r < count; ++r) {
        if (r + kRecordsAhead < count) qv::Prefetch(rows[r + kRecordsAhead]);
        if (r + kCellsAhead < count && k < rows[r + kCellsAhead]->cellCount)
            qv::Prefetch(rows[r + kCellsAhead]->CellAddress(k));
        lengths[r] = Entry(rows[r]->CellOrEmpty(k));
    }
    columns_[k] = lengths;
    return lengths;
}

void VxColumnLengths::Clear() {
    searched_ = -1;
    if (!columns_) return;
    for (LONG k = 0; k < columnCount_; ++k) qv::MemFree(columns_[k]);
    qv::MemFree(columns_);
    columns_ = nullptr;
    columnCount_ = 0;
}
