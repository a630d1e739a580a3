// The editing methods: setVariant, insertRows and deleteRows. Each tells the
// listeners before and after its change; insertRows and deleteRows do so while
// they hold the row array's lock, setVariant without it. Each holds a
// reference on the table throughout, since a listener may close it.
#include <new>

#include "ReferredValue.h"
#include "TableWriter.h"
#include "VxASCOSPObject.h"
#include "platform/VariantText.h"

namespace {

// True when the writer can write the value so that it reads back: no field
// (VT_EMPTY, VT_NULL), a string every character of which a field can hold,
// or a value that has a text (not every date or decimal has one). Throws
// std::bad_alloc when the text cannot be made.
bool IsWritable(const VARIANT& value) {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return true;
    if (value.vt == VT_BSTR) {
        const OLECHAR* text = value.bstrVal;
        const size_t length = SysStringLen(value.bstrVal);
        int units = 1;
        for (size_t i = 0; i < length; i += static_cast<size_t>(units)) {
            char bytes[kMaxFieldCharacterBytes];
            if (FieldCharacter(text, length, i, bytes, units) <= 0) return false;
        }
        return true;
    }
    qv::WideString text;
    return qv::VariantToText(value, text);
}

// Copies a client's value into the form a cell keeps: a by-reference value as
// the value it refers to, never as the caller's pointer. E_INVALIDARG for a
// value the file could not hold (objects, arrays, records and error codes are
// not copied at all); E_OUTOFMEMORY when the copy cannot be made. value is
// VT_EMPTY on failure.
HRESULT CopyCellValue(const VARIANT& source, VARIANT* value) {
    VARIANT referred;
    if (!ReferredValue(source, referred)) return E_INVALIDARG;
    const VARTYPE type = referred.vt;
    if (type != VT_EMPTY && type != VT_NULL && type != VT_BSTR && !qv::HasTextForm(type)) return E_INVALIDARG;
    HRESULT hr = qv::CopyVariantInd(value, &source);
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr)) {
        VariantInit(value);
        return E_INVALIDARG;
    }
    try {
        if (IsWritable(*value)) return S_OK;
        hr = E_INVALIDARG;
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    VariantClear(value);
    return hr;
}

}  // namespace

LONG VxASCOSPObject::LockedRowCount() {
    CSingleLock lock(rows_.GetLock());
    return rows_.GetSize() - 1;
}

void VxASCOSPObject::RemoveRows(LONG first, LONG count) {
    if (count <= 0) return;
    columnLengths_.Clear();
    for (LONG i = first; i < first + count; ++i) FreeRow(rows_[i]);
    rows_.RemoveAt(first, count);
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::setVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT, VARIANT Var) {
    if (Dying()) return E_UNEXPECTED;
    SelfReference hold(this);
    if (iRow <= 0 || !InRowRange(iRow)) return E_INVALIDARG;  // row 0, the label row, has no cells
    if (iColumn <= 0 || iColumn > columnCount_) return E_INVALIDARG;
    // Without a delimiter that the writer can put between fields, a line of
    // the file holds one field only: a second would fail the whole save.
    if (iColumn != 1 && !WriteDelimiter()) return E_INVALIDARG;
    if (iRow > LockedRowCount()) return E_INVALIDARG;
    const LONG row = static_cast<LONG>(iRow);
    const LONG column = static_cast<LONG>(iColumn);

    VARIANT value;
    VariantInit(&value);
    HRESULT hr = CopyCellValue(Var, &value);
    if (FAILED(hr)) return hr;

    // The file is tested once in the table's life, whatever the outcome: a
    // client told that it cannot write may still change the table in memory.
    bool firstEdit;
    {
        CSingleLock lock(rows_.GetLock());
        firstEdit = !writeChecked_;
        writeChecked_ = 1;
    }
    if (firstEdit) {
        HRESULT check = CheckFileWritable();
        if (check == E_OUTOFMEMORY) {
            // No answer yet: the check is still owed, by the next edit.
            CSingleLock lock(rows_.GetLock());
            writeChecked_ = 0;
        }
        if (FAILED(check)) {
            VariantClear(&value);
            return check;
        }
    }

    NotifyListeners(kAboutToChangeCell, row, column, -1);
    bool stored = false;
    {
        CSingleLock lock(rows_.GetLock());
        // Another thread may have deleted rows since the check above.
        if (row <= rows_.GetSize() - 1) {
            hr = GrowRow(rows_[row], column);
            if (SUCCEEDED(hr)) hr = HoldValue(value, rows_[row]->cells[column - 1]);
            if (SUCCEEDED(hr)) {
                columnLengths_.Changed(column - 1, row, rows_[row]->cells[column - 1]);
                MarkEdited();
                stored = true;
            }
        }
    }
    if (hr == E_OUTOFMEMORY) {
        // A row that could not grow to the column keeps its cells: nothing
        // changed, so nobody hears cellChanged.
        VariantClear(&value);
        return hr;
    }
    if (!stored) {
        // The row went away under the listeners' feet: nothing changed, so
        // nobody hears cellChanged.
        VariantClear(&value);
        return E_INVALIDARG;
    }
    NotifyListeners(kCellChanged, row, column, -1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::insertRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsInserted) {
    if (Dying()) return E_UNEXPECTED;
    SelfReference hold(this);
    if (iRow <= 0 || !InRowRange(iRow)) return E_INVALIDARG;
    if (cRows < 0 || !InRowRange(cRows)) return E_INVALIDARG;
    if (!pcRowsInserted) return E_INVALIDARG;
    *pcRowsInserted = 0;
    const LONG wanted = static_cast<LONG>(cRows);

    NotifyingRowLock lock(this);
    // A row past the end appends after the last row.
    LONG position = iRow < rows_.GetSize() ? static_cast<LONG>(iRow) : rows_.GetSize();
    NotifyListeners(kAboutToInsertRows, position, -1, wanted);
    // A listener on this thread may have deleted rows meanwhile.
    if (position > rows_.GetSize()) position = rows_.GetSize();

    HRESULT hr = S_OK;
    LONG made = 0;
    columnLengths_.Clear();
    if (wanted > 0) {
        try {
            rows_.InsertAt(position, nullptr, wanted);
        } catch (const VxOutOfMemoryError&) {
            hr = E_FAIL;
        } catch (const VxInvalidArgError&) {
            hr = E_FAIL;  // more entries than a 32-bit row number can reach
        }
        if (SUCCEEDED(hr)) {
            for (; made < wanted; ++made) {
                ROWHEADER* row = nullptr;
                // No cells until one is written: a row as wide as the table
                // would cost every column of it, however few are ever filled.
                hr = AllocRow(0, &row);
                if (FAILED(hr)) break;
                rows_[position + made] = row;
            }
            // Every entry holds a row: close those opened for rows never made.
            if (made < wanted) rows_.RemoveAt(position + made, wanted - made);
        }
    }
    MarkEdited();
    *pcRowsInserted = made;
    NotifyListeners(kInsertedRows, position, -1, made);
    return hr;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::deleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsDeleted) {
    if (Dying()) return E_UNEXPECTED;
    SelfReference hold(this);
    if (iRow < -1 || !InRowRange(iRow)) return E_INVALIDARG;
    if (cRows < 0) return E_INVALIDARG;
    if (!pcRowsDeleted) return E_INVALIDARG;

    NotifyingRowLock lock(this);
    LONG last = rows_.GetSize() - 1;
    if (iRow == 0 || iRow > last) return E_INVALIDARG;

    if (iRow == -1) {
        // Every data row; the number of rows is not used. The modified flag
        // stays as it was: this form never makes the table be written back.
        NotifyListeners(kAboutToDeleteRows, -1, -1, last);
        LONG count = rows_.GetSize() - 1;  // a listener may have changed the table
        *pcRowsDeleted = count;
        RemoveRows(1, count);
        NotifyListeners(kDeletedRows, -1, -1, count);
        return S_OK;
    }

    const LONG row = static_cast<LONG>(iRow);
    *pcRowsDeleted = 0;
    NotifyListeners(kAboutToDeleteRows, row, -1, cRows);
    // A long range stops at the last row (compared in 64 bits: row + cRows
    // never wraps); the last row is read again after a listener had its say.
    last = rows_.GetSize() - 1;
    LONG count = 0;
    if (row <= last) count = static_cast<LONGLONG>(cRows) > last - row + 1 ? last - row + 1 : static_cast<LONG>(cRows);
    RemoveRows(row, count);
    MarkEdited();
    *pcRowsDeleted = count;
    NotifyListeners(kDeletedRows, row, -1, count);
    return S_OK;
}
