// VxASCOSPObject: one delimited text file held whole in memory and served as
// an OLEDBSimpleProvider table. Row 0 of the row array is a hidden placeholder
// (a second copy of the first line); data row k is entry k. The table is
// loaded by its constructor and written back, when modified, by its destructor.
//
// Thread safety: every method may be called on any thread. The row array's
// lock guards the rows and cells; the listener list's lock guards the list.
// Where both are held, the row array's lock is taken first.
#pragma once

#include <cstddef>

#include "RowHeader.h"
#include "common/LiveObjects.h"
#include "containers/VxArray.h"
#include "containers/VxList.h"
#include "platform/Platform.h"

class VxASCOSPObject : public OLEDBSimpleProvider {
public:
    // Loads the table named by the data-member string. A failure throws the
    // HRESULT (a 32-bit signed value) after everything built is destroyed.
    explicit VxASCOSPObject(const OLECHAR* dataMember);
    virtual ~VxASCOSPObject();
    VxASCOSPObject(const VxASCOSPObject&) = delete;
    VxASCOSPObject& operator=(const VxASCOSPObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // OLEDBSimpleProvider
    HRESULT STDMETHODCALLTYPE getRowCount(DBROWCOUNT* pcRows) override;
    HRESULT STDMETHODCALLTYPE getColumnCount(DB_LORDINAL* pcColumns) override;
    HRESULT STDMETHODCALLTYPE getRWStatus(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPRW* prwStatus) override;
    HRESULT STDMETHODCALLTYPE getVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT format,
                                         VARIANT* pVar) override;
    HRESULT STDMETHODCALLTYPE setVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT format,
                                         VARIANT Var) override;
    HRESULT STDMETHODCALLTYPE getLocale(BSTR* pbstrLocale) override;
    HRESULT STDMETHODCALLTYPE deleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsDeleted) override;
    HRESULT STDMETHODCALLTYPE insertRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsInserted) override;
    HRESULT STDMETHODCALLTYPE find(DBROWCOUNT iRowStart, DB_LORDINAL iColumn, VARIANT val, OSPFIND findFlags,
                                   OSPCOMP compType, DBROWCOUNT* piRowFound) override;
    HRESULT STDMETHODCALLTYPE addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) override;
    HRESULT STDMETHODCALLTYPE removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) override;
    HRESULT STDMETHODCALLTYPE isAsync(BOOL* pbAsynch) override;
    HRESULT STDMETHODCALLTYPE getEstimatedRows(DBROWCOUNT* piRows) override;
    HRESULT STDMETHODCALLTYPE stopTransfer() override;

    static constexpr int kFileNameSize = 260;  // bytes, terminator included
    static constexpr int kMaxDelimiters = 5;
    static constexpr int kRowGrowBy = 500;

protected:
    // An empty table with no file: the state before a data-member string is
    // opened. Tests build tables through it.
    VxASCOSPObject();

    // --- Rows (the table model) ---
    // A new row of cellCount VT_EMPTY cells with status OSPRW_READWRITE, not yet
    // in the row array. E_OUTOFMEMORY, with nothing allocated, when it fails.
    HRESULT AllocRow(LONG cellCount, ROWHEADER** row);
    // Clears the column count cells, frees the cell array and the record.
    void FreeRow(ROWHEADER* row);
    // Frees every row, the placeholder included, and empties the row array.
    void RemoveAllRows();
    // S_OK when the file can be opened for update, E_FAIL when not.
    HRESULT CheckFileWritable();

    // --- Records (the text format) ---
    // Field count of a line under the delimiter set; at least 1.
    LONG CountColumns(const OLECHAR* line, size_t length) const;
    // Splits a line into fields and appends a row of column count cells holding
    // them. E_OUTOFMEMORY when the row cannot be made, E_FAIL when a string or
    // the array cannot grow; nothing is appended then.
    HRESULT ParseRecord(const OLECHAR* line, size_t length);
    bool IsDelimiter(OLECHAR c) const;

    // --- Loading and saving ---
    HRESULT OpenDataMember(const OLECHAR* dataMember);
    HRESULT LoadFile();
    HRESULT SaveToFile();

    // --- Editing and find ---
public:
    // The edit events that NotifyListeners delivers, one per listener method.
    enum EditEvent {
        kAboutToChangeCell,
        kCellChanged,
        kAboutToDeleteRows,
        kDeletedRows,
        kAboutToInsertRows,
        kInsertedRows,
    };
    // How a cell stands to a sought value. Strings and numbers of one type are
    // ordered; other pairs are only equal (same type and value) or different.
    enum VariantOrder { kOrderLess, kOrderEqual, kOrderGreater, kOrderSame, kOrderDifferent };

protected:
    // Tells every registered listener of one event, oldest registration first,
    // walking a copy of the list that holds a reference on each listener until
    // the walk is over. Cell events pass the row and the column, row events the
    // row and the number of rows. Stops at the first listener that fails.
    // Results: S_OK; the failing listener's HRESULT; E_OUTOFMEMORY when the copy
    // could not hold every listener (the first kInlineListeners are still told).
    HRESULT NotifyListeners(EditEvent event, DBROWCOUNT row, DB_LORDINAL column, DBROWCOUNT rows);
    // Listeners copied without allocating; more take one heap block.
    static constexpr int kInlineListeners = 8;

    // How the cell stands to the sought value; find's comparison.
    static VariantOrder CompareVariants(const VARIANT& cell, const VARIANT& sought, bool caseSensitive);

    // The number of data rows (-1 when the array is empty), read under the row array's lock.
    LONG LockedRowCount();
    // Frees count rows from first on and closes their entries. Row array's lock held.
    void RemoveRows(LONG first, LONG count);
    // True when a row or column argument lies in the signed 32-bit range that
    // row numbers have (DBROWCOUNT is 64-bit on 64-bit Windows).
    static bool InRowRange(LONGLONG value) { return value >= -0x7FFFFFFFLL - 1 && value <= 0x7FFFFFFFLL; }

    // --- State, in declaration order ---
    VxArray<ROWHEADER*> rows_;                  // entry 0 the placeholder; data row k at k
    LONG columnCount_ = 0;                      // cells in every row
    char fileName_[kFileNameSize] = {};         // narrow path; empty means no file
    OLECHAR delimiters_[kMaxDelimiters + 1] = {};  // each separates fields; zero-terminated
    VxList<OLEDBSimpleProviderListener*> listeners_;  // one reference held on each
    LONG refCount_ = 0;                         // interlocked only
    BYTE modified_ = 0;                         // rows differ from the file
    BYTE writeChecked_ = 0;                     // the first setVariant made its check
    LONG widestColumnCount_ = 0;                // widest line seen while loading

private:
    qv::LiveObjectToken liveToken_;  // keeps the library loaded while the table lives

    // Scratch space for ParseRecord's field text, reused from line to line.
    struct FieldBuffer {
        OLECHAR* text = nullptr;
        size_t size = 0;  // code units
        ~FieldBuffer() { qv::MemFree(text); }
    };
    FieldBuffer fieldBuffer_;
};
