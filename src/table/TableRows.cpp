// The table model's row routines: making, freeing and clearing rows.
#include <cstdint>
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
    if (cellCount < 0 || !qv::ArrayBytes(static_cast<size_t>(cellCount), sizeof(VxCell), &cellBytes))
        return E_OUTOFMEMORY;
    auto* record = static_cast<ROWHEADER*>(qv::TaskMemAlloc(sizeof(ROWHEADER)));
    if (!record) return E_OUTOFMEMORY;
    record->status = OSPRW_READWRITE;
    record->cellCount = cellCount;
    record->text = nullptr;
    // A row of no cells (an inserted one) has no cell array at all.
    record->cells = cellCount ? static_cast<VxCell*>(qv::TaskMemAlloc(cellBytes)) : nullptr;
    if (cellCount && !record->cells) {
        qv::TaskMemFree(record);
        return E_OUTOFMEMORY;
    }
    if (cellCount) std::memset(static_cast<void*>(record->cells), 0, cellBytes);  // all empty
    *row = record;
    return S_OK;
}

HRESULT VxASCOSPObject::AllocLoadedRow(LONG cellCount, const unsigned char* text, size_t length, ROWHEADER** row) {
    *row = nullptr;
    const size_t room = VxTableBlocks::kLargestPiece - sizeof(ROWHEADER);  // for cells behind the record
    const bool compact =
        length < ROWHEADER::kCompactLine && cellCount > 0 && static_cast<size_t>(cellCount) <= room / sizeof(uint32_t);
    size_t cellBytes = 0;
    if (cellCount < 0 ||
        !qv::ArrayBytes(static_cast<size_t>(cellCount), compact ? sizeof(uint32_t) : sizeof(VxCell), &cellBytes))
        return E_OUTOFMEMORY;
    const bool behind = cellBytes <= room;
    auto* record = static_cast<ROWHEADER*>(blocks_.Take(sizeof(ROWHEADER) + (behind ? cellBytes : 0)));
    if (!record) return E_OUTOFMEMORY;
    VxCell* cells = compact  ? nullptr
                    : behind ? record->CellsBehind()
                             : static_cast<VxCell*>(qv::TaskMemAlloc(cellBytes));
    if (!compact && !cells) return E_OUTOFMEMORY;  // the record goes with the blocks
    record->status = OSPRW_READWRITE;
    record->cellCount = cellCount;
    record->cells = cells;
    record->text = text;
    *row = record;
    return S_OK;
}

void VxASCOSPObject::ClearCell(VxCell& cell) {
    if (cell.IsValue()) {
        VariantClear(cell.Value());
        qv::TaskMemFree(cell.Value());
    }
    cell = VxCell();
}

HRESULT VxASCOSPObject::HoldValue(VARIANT& value, VxCell& cell) {
    if (value.vt == VT_EMPTY) {
        ClearCell(cell);
        return S_OK;
    }
    auto* held = static_cast<VARIANT*>(qv::TaskMemAlloc(sizeof(VARIANT)));
    if (!held) return E_OUTOFMEMORY;
    *held = value;  // the cell takes the value over
    // A string's reserved words are the cell's own, whatever the caller's
    // held; other values keep them (a decimal's scale, sign and high bits
    // lie there).
    if (held->vt == VT_BSTR) held->wReserved1 = held->wReserved2 = 0;
    VariantInit(&value);
    ClearCell(cell);
    cell = VxCell::Value(held);
    return S_OK;
}

namespace {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Four bytes widened to four characters in one word: each byte moves to the
// low half of its own 16-bit lane.
inline void WidenFour(const unsigned char* bytes, OLECHAR* text) {
    uint32_t four;
    std::memcpy(&four, bytes, sizeof four);
    uint64_t lanes = four;
    lanes = (lanes | lanes << 16) & 0x0000FFFF0000FFFFull;
    lanes = (lanes | lanes << 8) & 0x00FF00FF00FF00FFull;
    std::memcpy(text, &lanes, sizeof lanes);
}
#endif

// A string of length characters, each byte of bytes widened to the character
// of the same value; null when it cannot be made. Fields are short, so they
// go four bytes at a time, the last four overlapping the ones before.
BSTR Widened(const unsigned char* bytes, size_t length) {
    BSTR text = qv::AllocBstrLen(nullptr, length);
    if (!text) return nullptr;
    size_t k = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (length >= 4) {
        for (; k + 4 < length; k += 4) WidenFour(bytes + k, text + k);
        WidenFour(bytes + length - 4, text + length - 4);
        return text;
    }
#endif
    for (; k < length; ++k) text[k] = static_cast<OLECHAR>(bytes[k]);
    return text;
}
}  // namespace

HRESULT VxASCOSPObject::HoldText(const unsigned char* bytes, size_t length, VxCell& cell) {
    VARIANT value;
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value.vt = VT_BSTR;
    value.bstrVal = Widened(bytes, length);
    if (!value.bstrVal) return E_OUTOFMEMORY;
    HRESULT hr = HoldValue(value, cell);
    VariantClear(&value);
    return hr;
}

HRESULT VxASCOSPObject::CopyCell(const ROWHEADER* row, LONG k, VARIANT* out) {
    const VxCell cell = row->CellOrEmpty(k);
    if (cell.IsValue()) return qv::CopyVariant(out, cell.Value());
    // As VariantCopy: a destination that cannot be cleared is left as it is.
    if (out->vt != VT_EMPTY) {
        HRESULT hr = VariantClear(out);
        if (FAILED(hr)) return hr;
    }
    std::memset(static_cast<void*>(out), 0, sizeof *out);  // VT_EMPTY, every other word zero, as a copy leaves it
    if (cell.IsText()) {
        BSTR text = Widened(row->text + cell.TextOffset(), cell.TextLength());
        if (!text) return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        out->bstrVal = text;
    }
    return S_OK;
}

void VxASCOSPObject::FreeRow(ROWHEADER* row) {
    if (!row) return;
    // A compact row's cells hold no values.
    if (row->cells)
        for (LONG i = 0; i < row->cellCount; ++i) ClearCell(row->cells[i]);
    // What lives in the table's blocks goes with them.
    if (row->CellsOnHeap()) qv::TaskMemFree(row->cells);
    if (!row->InBlock()) qv::TaskMemFree(row);
}

HRESULT VxASCOSPObject::GrowRow(ROWHEADER* row, LONG cellCount) {
    // A compact row takes eight-byte cells, which can hold a value.
    if (cellCount <= row->cellCount && !row->Compact()) return S_OK;
    if (cellCount < row->cellCount) cellCount = row->cellCount;
    size_t cellBytes = 0;
    if (!qv::ArrayBytes(static_cast<size_t>(cellCount), sizeof(VxCell), &cellBytes)) return E_OUTOFMEMORY;
    auto* cells = static_cast<VxCell*>(qv::TaskMemAlloc(cellBytes));
    if (!cells) return E_OUTOFMEMORY;
    for (LONG i = 0; i < row->cellCount; ++i) cells[i] = row->CellOrEmpty(i);
    for (LONG i = row->cellCount; i < cellCount; ++i) cells[i] = VxCell();
    if (row->CellsOnHeap()) qv::TaskMemFree(row->cells);
    row->cells = cells;
    row->cellCount = cellCount;
    return S_OK;
}

void VxASCOSPObject::RemoveAllRows() {
    CSingleLock lock(rows_.GetLock());
    columnLengths_.Clear();
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
