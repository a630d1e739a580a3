// VxASCOSPObject: one delimited text file held whole in memory and served as
// an OLEDBSimpleProvider table. Row 0 of the row array is a hidden placeholder
// (a second copy of the first line), which every loaded table keeps until it
// is destroyed; data row k is entry k. The table is
// loaded by its constructor and written back, when modified, by its destructor.
//
// Besides OLEDBSimpleProvider it answers VxTableSave (common/TableSave.h),
// the project's own interface for a save on request that tells its result.
//
// Thread safety: every method may be called on any thread. The row array's
// lock guards the rows and cells; the listener list's lock guards the list;
// the save lock keeps saves one at a time. Where two are held, the row
// array's lock is taken first.
#pragma once

#include <cstddef>

#include "RowHeader.h"
#include "VxColumnLengths.h"
#include "VxTableBlocks.h"
#include "common/LiveObjects.h"
#include "common/TableSave.h"
#include "containers/VxArray.h"
#include "containers/VxList.h"
#include "platform/BoundPath.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"

class VxASCOSPObject : public OLEDBSimpleProvider, public VxTableSave {
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
    HRESULT STDMETHODCALLTYPE setVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT format, VARIANT Var) override;
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

    // VxTableSave
    HRESULT STDMETHODCALLTYPE save() override;
    HRESULT STDMETHODCALLTYPE getModified(BOOL* pbModified) override;
    HRESULT STDMETHODCALLTYPE getKeptFile(VXKEPT* pKind, BSTR* pbstrPath) override;

    static constexpr int kFileNameSize = 260;  // the narrow name's limit in bytes, terminator included
    static constexpr int kMaxDelimiters = 5;
    static constexpr int kRowGrowBy = 500;

protected:
    // An empty table with no file: the state before a data-member string is
    // opened. Tests build tables through it.
    VxASCOSPObject();

    // --- Rows (the table model) ---
    // A new row of cellCount VT_EMPTY cells with status OSPRW_READWRITE, not yet
    // in the row array; with no cells, the record alone. E_OUTOFMEMORY, with
    // nothing allocated, when it fails.
    HRESULT AllocRow(LONG cellCount, ROWHEADER** row);
    // The same for a loaded row whose text cells refer to text: its record
    // in the table's blocks, its cells behind it unless the row is too wide
    // for them. Its cells are not set: the caller sets every one before the
    // row is freed or used. E_OUTOFMEMORY when it fails.
    // The row of a line of length bytes shorter than ROWHEADER::kCompactLine
    // is compact (four-byte cells, see RowHeader.h) where its cells fit
    // behind its record.
    HRESULT AllocLoadedRow(LONG cellCount, const unsigned char* text, size_t length, ROWHEADER** row);
    // Clears the row's cells, frees the cell array and the record, leaving
    // what lives in the table's blocks to them.
    void FreeRow(ROWHEADER* row);
    // Empties a cell, releasing the value it owns. The one way the table
    // clears its cells.
    static void ClearCell(VxCell& cell);
    // Puts value into cell, which takes it over (value is VT_EMPTY after)
    // and releases what it held. E_OUTOFMEMORY, with both unchanged, when the
    // value's own block cannot be had.
    static HRESULT HoldValue(VARIANT& value, VxCell& cell);
    // Puts a string of length characters, each byte of bytes widened, into
    // cell as a value of its own. E_OUTOFMEMORY when it cannot be made.
    static HRESULT HoldText(const unsigned char* bytes, size_t length, VxCell& cell);
    // Copies cell k of row (empty past its cells) into out, as VariantCopy
    // does: out is cleared first, and is VT_EMPTY with E_OUTOFMEMORY when a
    // string cannot be made.
    static HRESULT CopyCell(const ROWHEADER* row, LONG k, VARIANT* out);
    // Gives a row at least cellCount cells, the new ones VT_EMPTY, and
    // eight-byte cells when it was compact. E_OUTOFMEMORY, with the row as it
    // was, when it cannot.
    HRESULT GrowRow(ROWHEADER* row, LONG cellCount);
    // Frees every row, the placeholder included, and the table's blocks, and
    // empties the row array.
    void RemoveAllRows();
    // S_OK when the file can be opened for update, E_FAIL when not,
    // E_OUTOFMEMORY when memory ran out before the answer was known.
    HRESULT CheckFileWritable();

    // --- Records (the text format) ---
    // Splits a copy of a line of bytes into fields under the delimiter set
    // and appends a row holding them, each byte read as the character of the
    // same value. Nothing is appended on failure: E_OUTOFMEMORY when the copy,
    // the scratch space or the row cannot be made, E_FAIL when the line has
    // more fields than the column count, a field is longer than a string can
    // be, or the row array cannot grow.
    HRESULT ParseRecord(const unsigned char* line, size_t length);

    // Bytes of narrow text, grown through qv::MemRealloc.
    struct ByteBuffer {
        char* bytes = nullptr;
        size_t length = 0;
        size_t capacity = 0;
        ByteBuffer() = default;
        ByteBuffer(const ByteBuffer&) = delete;
        ByteBuffer& operator=(const ByteBuffer&) = delete;
        ~ByteBuffer() { qv::MemFree(bytes); }
        // Room for more bytes after length; false when memory runs out.
        bool Reserve(size_t more) { return capacity - length >= more || qv::GrowBlock(bytes, capacity, length, more); }
    };
    // Appends the line of a row, its CR LF included, to line: the cells up to
    // the last that is not VT_EMPTY, strings and the text of other values
    // quoted. E_FAIL when the row cannot be written so that it reads back
    // (see TableWriter.cpp), E_OUTOFMEMORY when line cannot grow; line then
    // holds the row's bytes in part.
    HRESULT FormatRow(const ROWHEADER* row, ByteBuffer& line) const;
    // The character put between fields: the first of the delimiter set that
    // the reader can meet between two fields; 0 when there is none, and then
    // setVariant refuses every column after the first.
    OLECHAR WriteDelimiter() const;

    // --- Loading and saving ---
    // Takes the file and the delimiter set from the data-member string and
    // loads the file. E_INVALIDARG for a null or empty string, a missing or
    // too long path, or a delimiter set that holds the double quote; otherwise
    // the result of LoadFile.
    HRESULT OpenDataMember(const OLECHAR* dataMember);
    // Loads the file under the current delimiter set, widening the column
    // count to the widest line; appends the rows. ASC_E_FILEACCESS when the
    // file cannot be read or written, E_OUTOFMEMORY when a line has more
    // fields than a column number can count, or the failure of ParseRecord
    // (all rows removed).
    HRESULT LoadFile();
    // Writes a modified table to its file through a temporary file and one
    // atomic replace. S_OK when the new file is in place (the table is then
    // unmodified, unless an edit came while the file was being put in place);
    // E_FAIL when nothing was modified or the file could not be replaced, or
    // FormatRow's failure; the data file is then untouched. What the replace
    // kept aside is noted for getKeptFile. *nothingToSave (when given) tells
    // the E_FAIL of an unmodified table apart. Takes the row array's lock,
    // then the save lock: a listener told of an insert may save.
    HRESULT SaveToFile(bool* nothingToSave = nullptr);
    // Where WriteTable puts the bytes of the file; false when they could not be written.
    struct FileSink {
        virtual bool Write(const void* data, size_t bytes) = 0;

    protected:
        ~FileSink() = default;
    };
    // Writes every data row, placeholder excluded, to out in large blocks
    // under the row array's lock; *edit (when given) receives modified_ as it
    // stood under that lock, the edit the bytes hold. S_OK, E_FAIL when out
    // refuses bytes, or FormatRow's failure.
    HRESULT WriteTable(FileSink& out, LONG* edit = nullptr);
    // Marks the table modified by a new edit, numbered apart from every
    // earlier one, so that a save can tell whether an edit came after the
    // rows it wrote. Row array's lock held.
    void MarkEdited();
    // modified_, read with an interlocked call.
    LONG LoadModified();

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
    // Tells every registered listener of one event (those told transferComplete
    // already; see UntoldListener below), oldest registration first,
    // walking a copy of the list that holds a reference on each listener until
    // the walk is over. Cell events pass the row and the column, row events the
    // row and the number of rows. Stops at the first listener that fails.
    // Results: S_OK; the failing listener's HRESULT; E_OUTOFMEMORY when the copy
    // could not hold every listener (the first kInlineListeners are still told).
    HRESULT NotifyListeners(EditEvent event, DBROWCOUNT row, DB_LORDINAL column, DBROWCOUNT rows);
    // Listeners copied without allocating; more take one heap block.
    static constexpr int kInlineListeners = 8;
    // A reference the table holds on itself for the length of a method that
    // calls out to listeners: a listener may release the client's last
    // reference, and the table then goes (and saves) only as the method
    // returns. Made before any lock of the table is taken, so that it goes
    // after the lock is dropped, and only once Dying() has said no: a table
    // whose destruction has begun is never taken up again.
    class SelfReference {
    public:
        explicit SelfReference(VxASCOSPObject* table) : table_(table) { table_->AddRef(); }
        ~SelfReference() { table_->Release(); }
        SelfReference(const SelfReference&) = delete;
        SelfReference& operator=(const SelfReference&) = delete;

    private:
        VxASCOSPObject* table_;
    };

    // A listener's first event is transferComplete(OSPXFER_COMPLETE): the
    // table is whole from its construction on, and a consumer that takes an
    // asynchronous provider as still loading waits for it. It is told once
    // per registration, before the listener hears anything else, with the
    // table and the listener held, and never while this thread holds the row
    // array's lock: a listener added inside insertRows' or deleteRows'
    // notifications is told when the outermost of them drops that lock.
    // Until it is told, NotifyListeners passes its entry by.
    struct UntoldListener {
        OLEDBSimpleProviderListener* listener;  // the list's entry holds the reference
        bool claimed;                           // a thread is telling it now
    };
    // Tells a claimed listener, then takes its entry off untold_ and gives
    // back the reference that the caller took for the call.
    void TellTransferComplete(OLEDBSimpleProviderListener* listener);
    // Claims and tells, one by one, the listeners whose telling was put off.
    void TellPutOffTransfers();
    // True when the entry of listeners_ at position is one of the last entries
    // of its listener, as many as untold_ holds for it. Listener list's lock held.
    bool IsUntold(POSITION position);
    // The row array's lock as insertRows and deleteRows hold it across their
    // notifications; dropping the outermost tells the listeners added meanwhile.
    class NotifyingRowLock {
    public:
        explicit NotifyingRowLock(VxASCOSPObject* table);
        ~NotifyingRowLock();
        NotifyingRowLock(const NotifyingRowLock&) = delete;
        NotifyingRowLock& operator=(const NotifyingRowLock&) = delete;

    private:
        VxASCOSPObject* table_;
    };

    // How the value stands to the sought value; find's comparison.
    static VariantOrder CompareVariants(const VARIANT& value, const VARIANT& sought, bool caseSensitive);
    // The same for cell k of row, a loaded field read as its string.
    static VariantOrder CompareCell(const ROWHEADER* row, LONG k, const VARIANT& sought, bool caseSensitive);
    // find's walk for a string val (sought is its text) under OSPCOMP_EQ
    // (equal true) or OSPCOMP_NE: from row on by step, true with row at the
    // first row whose cell in column cell + 1 is (or, for NE, is not) equal
    // to it as CompareCell finds. Row array's lock held.
    bool FindText(LONG& row, LONG step, LONG rowCount, LONG cell, const VARIANT& val, BSTR sought, bool caseSensitive,
                  bool equal);

    // True once the table's destruction has begun. A listener released by the
    // destructor may still call the table: every method then fails with
    // E_UNEXPECTED rather than revive it or add to what is being torn down.
    bool Dying() const { return destroying_ != 0; }

    // The number of data rows, read under the row array's lock.
    LONG LockedRowCount();
    // Frees count rows from first on and closes their entries. Row array's lock held.
    void RemoveRows(LONG first, LONG count);
    // True when a row or column argument lies in the signed 32-bit range that
    // row numbers have (DBROWCOUNT is 64-bit on 64-bit Windows).
    static bool InRowRange(LONGLONG value) { return value >= -0x7FFFFFFFLL - 1 && value <= 0x7FFFFFFFLL; }

    // --- State, in declaration order ---
    // First, so that it goes last: DllCanUnloadNow must not answer S_OK while
    // the destructors of the members below still run library code.
    qv::LiveObjectToken liveToken_;  // keeps the library loaded while the table lives
    VxArray<ROWHEADER*> rows_;       // entry 0 the placeholder; data row k at k
    VxTableBlocks blocks_;           // the loaded rows and their lines; under the row array's lock
    VxColumnLengths columnLengths_;  // what find's walk for a string reads; under the row array's lock
    LONG columnCount_ = 0;           // the widest row's cells
    // The original object's published layout kept the name as given, as
    // kFileNameSize narrow bytes. This table keeps only the bound path: every
    // file call and the destructor's decision to save go to it, and a second
    // copy of the name could only drift from it (the narrow name's limit is
    // still checked where the data-member string is read).
    qv::BoundPath boundPath_;                         // the file itself, where every file call goes; unbound: no file
    qv::FileIdentity fileIdentity_;                   // what was loaded, then what the last save wrote
    OLECHAR delimiters_[kMaxDelimiters + 1] = {};     // each separates fields; zero-terminated
    VxList<OLEDBSimpleProviderListener*> listeners_;  // one reference held on each
    CList<UntoldListener> untold_;                    // not yet told transferComplete; under the list's lock
    LONG notifyingUnderLock_ = 0;                     // NotifyingRowLocks held; under the row array's lock
    LONG refCount_ = 0;                               // interlocked only
    LONG destroying_ = 0;                             // 1 from the start of destruction; interlocked
    LONG modified_ = 0;      // 0: the file holds the rows; else the number of the latest edit (interlocked)
    LONG editCount_ = 0;     // edits numbered so far; under the row array's lock
    BYTE writeChecked_ = 0;  // the first setVariant made its check

    // saveLock_ guards the following state.
    CCriticalSection saveLock_;
    VXKEPT lastKept_ = VXKEPT_NOTHING;  // what the last save kept aside
    BSTR lastKeptPath_ = nullptr;       // where; null when nothing, or when the name could not be copied
    LONG keptEdit_ = 0;                 // the edit that a file kept as unsaved holds

private:
    // The role of each byte in a line: a plain character, a delimiter (a
    // character of the set, which only the first 256 characters can match)
    // or the double quote.
    enum ByteClass : unsigned char { kPlainByte, kDelimiterByte, kQuoteByte };
    void ClassifyBytes();
    // The fields of the line last split: each a span of the line, from its
    // start, a quoted one unquoted where it lies.
    struct FieldSpan {
        size_t offset;
        size_t length;
    };
    struct LineFields {
        FieldSpan* spans = nullptr;
        size_t count = 0;
        size_t capacity = 0;
        LineFields() = default;
        LineFields(const LineFields&) = delete;
        LineFields& operator=(const LineFields&) = delete;
        ~LineFields() { qv::MemFree(spans); }
    };
    // Splits line into fields_ by the quoting rules, unquoting in place; at
    // least one field. False when the scratch space cannot grow.
    bool SplitFields(unsigned char* line, size_t length);
    // Appends a row of as many cells as fields_ holds fields, referring to
    // line, which lives as long as the table's blocks. Results as ParseRecord's.
    HRESULT AppendFields(const unsigned char* line, size_t length);

    unsigned char byteClasses_[256] = {};
    LineFields fields_;
};
