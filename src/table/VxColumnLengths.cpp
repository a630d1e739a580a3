#include "VxColumnLengths.h"

#include <cstring>

#include "platform/Alloc.h"

uint8_t* VxColumnLengths::Get(LONG k, LONG rowEntries, LONG columnCount) {
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
    if (k >= columnCount_ || rowEntries <= 0) return nullptr;
    auto* lengths = static_cast<uint8_t*>(qv::BulkAlloc(static_cast<size_t>(rowEntries)));
    if (!lengths) return nullptr;
    std::memset(lengths, kReadRow, static_cast<size_t>(rowEntries));
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
