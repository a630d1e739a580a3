// The read methods of OLEDBSimpleProvider: counts, cells, row status, locale
// and the asynchronous-transfer queries. None of them changes the table.
#include <new>

#include "VxASCOSPObject.h"
#include "common/Conversions.h"
#include "platform/SystemLocale.h"

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getRowCount(DBROWCOUNT* pcRows) {
    if (Dying()) return E_UNEXPECTED;
    if (!pcRows) return E_INVALIDARG;
    *pcRows = rows_.GetSize() - 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getColumnCount(DB_LORDINAL* pcColumns) {
    if (Dying()) return E_UNEXPECTED;
    if (!pcColumns) return E_INVALIDARG;
    *pcColumns = columnCount_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getRWStatus(DBROWCOUNT iRow, DB_LORDINAL, OSPRW* prwStatus) {
    if (Dying()) return E_UNEXPECTED;
    if ((iRow <= 0 && iRow != -1) || !InRowRange(iRow)) return E_INVALIDARG;
    if (!prwStatus) return E_INVALIDARG;
    if (iRow == -1) {
        *prwStatus = OSPRW_READWRITE;
        return S_OK;
    }
    CSingleLock lock(rows_.GetLock());
    // Compared under the lock, so that a concurrent deletion cannot move the
    // last row away between the test and the read.
    if (iRow > rows_.GetSize() - 1) return E_INVALIDARG;
    *prwStatus = static_cast<OSPRW>(rows_[static_cast<int>(iRow)]->status);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT, VARIANT* pVar) {
    if (Dying()) return E_UNEXPECTED;
    if (!pVar) return E_INVALIDARG;
    if (iRow < 0 || !InRowRange(iRow)) return E_INVALIDARG;
    // Column 0 (the labels) and columns past the last have no cells.
    if (iColumn <= 0 || iColumn > columnCount_) return E_INVALIDARG;
    CSingleLock lock(rows_.GetLock());
    // A table without even its placeholder row has no row 0 either.
    if (iRow > rows_.GetSize() - 1) return E_INVALIDARG;
    if (iRow == 0) return S_OK;  // the label row: no content, the VARIANT as passed
    return CopyCell(rows_[static_cast<int>(iRow)], static_cast<LONG>(iColumn) - 1, pVar);
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getLocale(BSTR* pbstrLocale) {
    if (Dying()) return E_UNEXPECTED;
    if (!pbstrLocale) return E_INVALIDARG;
    int size = qv::SystemLanguageName(nullptr, 0);
    if (size <= 0) return E_FAIL;
    char* name = static_cast<char*>(qv::MemAlloc(static_cast<size_t>(size)));
    if (!name) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    if (qv::SystemLanguageName(name, size) <= 0) {
        hr = E_FAIL;
    } else {
        try {
            *pbstrLocale = AnsiToBstr(name);
            if (!*pbstrLocale) hr = E_OUTOFMEMORY;
        } catch (const std::bad_alloc&) {
            *pbstrLocale = nullptr;
            hr = E_OUTOFMEMORY;
        }
    }
    qv::MemFree(name);
    return hr;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::isAsync(BOOL* pbAsynch) {
    if (Dying()) return E_UNEXPECTED;
    if (!pbAsynch) return E_INVALIDARG;
    *pbAsynch = TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getEstimatedRows(DBROWCOUNT* piRows) { return getRowCount(piRows); }

HRESULT STDMETHODCALLTYPE VxASCOSPObject::stopTransfer() { return Dying() ? E_UNEXPECTED : S_OK; }
