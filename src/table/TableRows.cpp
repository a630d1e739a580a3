// The table model's row routines: making, freeing and clearing rows.
#include <cstring>

#include "VxASCOSPObject.h"
#include "platform/FileSystem.h"
#include "platform/ReplacementFile.h"

VxASCOSPObject::VxASCOSPObject() {
    // The array is empty, so setting its grow-by allocates nothing.
    rows_.SetSize(0, kRowGrowBy);
}

HRESULT VxASCOSPObject::AllocRow(LONG cellCount, ROWHEADER** row) {
    *row = nullptr;
    // Where size_t has 32 bits, the cells of a wide enough line would wrap
    // their byte count round to a small block.
    size_t cellBytes = 0;
    if (cellCount < 0 || !qv::ArrayBytes(static_cast<size_t>(cellCount), sizeof(VARIANT), &cellBytes))
        return E_OUTOFMEMORY;
    auto* record = static_cast<ROWHEADER*>(qv::TaskMemAlloc(sizeof(ROWHEADER)));
    if (!record) return E_OUTOFMEMORY;
    record->status = OSPRW_READWRITE;
    record->cellCount = cellCount;
    record->inBlock = 0;
    // A row of no cells (an inserted one) has no cell array at all.
    record->cells = cellCount ? static_cast<VARIANT*>(qv::TaskMemAlloc(cellBytes)) : nullptr;
    if (cellCount && !record->cells) {
        qv::TaskMemFree(record);
        return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < cellCount; ++i) VariantInit(&record->cells[i]);
    *row = record;
    return S_OK;
}

HRESULT VxASCOSPObject::AllocLoadedRow(LONG cellCount, ROWHEADER** row) {
    size_t cellBytes = 0;
    if (cellCount < 0 || !qv::ArrayBytes(static_cast<size_t>(cellCount), sizeof(VARIANT), &cellBytes) ||
        cellBytes > VxTableBlocks::kLargestPiece - sizeof(ROWHEADER))
        return AllocRow(cellCount, row);
    auto* record = static_cast<ROWHEADER*>(blocks_.Take(sizeof(ROWHEADER) + cellBytes));
    *row = record;
    if (!record) return E_OUTOFMEMORY;
    record->status = OSPRW_READWRITE;
    record->cellCount = cellCount;
    record->inBlock = 1;
    record->cells = record->CellsBehind();
    std::memset(static_cast<void*>(record->cells), 0, cellBytes);  // all VT_EMPTY, unmarked
    return S_OK;
}

void VxASCOSPObject::FreeRow(ROWHEADER* row) {
    if (!row) return;
    // A string in the table's blocks needs nothing: the cell goes too.
    for (LONG i = 0; i < row->cellCount; ++i)
        if (!VxTableBlocks::HoldsString(row->cells[i])) ClearCell(row->cells[i]);
    // What lives in the table's blocks goes with them.
    if (row->CellsOnHeap()) qv::TaskMemFree(row->cells);
    if (!row->inBlock) qv::TaskMemFree(row);
}

HRESULT VxASCOSPObject::GrowRow(ROWHEADER* row, LONG cellCount) {
    if (cellCount <= row->cellCount) return S_OK;
    size_t cellBytes = 0;
    if (!qv::ArrayBytes(static_cast<size_t>(cellCount), sizeof(VARIANT), &cellBytes)) return E_OUTOFMEMORY;
    auto* cells = static_cast<VARIANT*>(qv::TaskMemAlloc(cellBytes));
    if (!cells) return E_OUTOFMEMORY;
    // The cells move as they are: a VARIANT owns nothing by its address.
    for (LONG i = 0; i < row->cellCount; ++i) cells[i] = row->cells[i];
    for (LONG i = row->cellCount; i < cellCount; ++i) VariantInit(&cells[i]);
    if (row->CellsOnHeap()) qv::TaskMemFree(row->cells);
    row->cells = cells;
    row->cellCount = cellCount;
    return S_OK;
}

void VxASCOSPObject::RemoveAllRows() {
    CSingleLock lock(rows_.GetLock());
    for (int i = 0; i < rows_.GetSize(); ++i) FreeRow(rows_[i]);
    rows_.SetSize(0);
    blocks_.FreeAll();
}

// Refuses what the save would refuse: a read-only file (even for the
// administrator, who could open it for update), and a folder that does not
// let the file be replaced. The edit is better refused now than lost later.
HRESULT VxASCOSPObject::CheckFileWritable() {
    const qv::PathChar* path = boundPath_.Get();
    if (!path || !qv::OpenableForUpdate(path)) return E_FAIL;
    bool outOfMemory = false;
    if (qv::ReplacementFile::CanReplace(path, &outOfMemory)) return S_OK;
    return outOfMemory ? E_OUTOFMEMORY : E_FAIL;
}
