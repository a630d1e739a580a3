// Fuzzes a client's calls on a small table: the input is a sequence of calls
// (getVariant, setVariant, insertRows, deleteRows, find, getRWStatus,
// getLocale, listener registration and withdrawal, the asynchronous queries),
// each with arguments taken from the input: rows and counts from the extremes
// of their ranges and around the table's edges, VARIANTs of every type, by
// value and by reference, with hostile contents (null pointers, nested
// references, unknown types, odd booleans and decimals, strings holding line
// feeds, Ctrl-Z and half surrogate pairs). Listeners answer with failures and
// call back into the table while they are told of a change.
//
// Properties, after every call: only the documented HRESULTs; the column
// count never changes; the row count moves by exactly the rows reported
// inserted or deleted; every cell is readable and none past the edges; a
// stored value reads back as the value given. At the end the table is
// released, and a changed table's file loads again to the text of its cells
// (an unchanged one is left as it was).
#include <climits>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"

namespace {

using namespace qvtest;

const char* const kFiles[] = {"a,b,c\n1,2\n\"x,y\",,z\n", "", "q", "\n\n"};

struct Input {
    const uint8_t* data;
    size_t size;
    size_t used = 0;
    bool More() const { return used < size; }
    uint8_t Byte() { return used < size ? data[used++] : 0; }
    uint64_t Bytes(int count) {
        uint64_t value = 0;
        for (int i = 0; i < count; ++i) value = value << 8 | Byte();
        return value;
    }
};

struct Harness;

// A listener that answers each event with a chosen result and may call back
// into the table, once, while it is told of one kind of event.
class Listener final : public OLEDBSimpleProviderListener {
public:
    Listener(Harness& harness, uint8_t answer, uint8_t action, uint8_t when)
        : harness_(harness), answer_(answer), action_(action), when_(when) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_OLEDBSimpleProviderListener)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        long left = --refs_;
        QV_REQUIRE(left >= 0);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT, DB_LORDINAL) override { return Event(0); }
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT, DB_LORDINAL) override { return Event(1); }
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT, DBROWCOUNT) override { return Event(2); }
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT, DBROWCOUNT) override { return Event(3); }
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT, DBROWCOUNT) override { return Event(4); }
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT, DBROWCOUNT) override { return Event(5); }
    HRESULT STDMETHODCALLTYPE rowsAvailable(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER) override { return S_OK; }

private:
    HRESULT Event(int kind);

    Harness& harness_;
    long refs_ = 0;
    uint8_t answer_, action_, when_;
};

struct Harness {
    TableProbe* table = nullptr;
    DB_LORDINAL columns = 0;
    int depth = 0;                // calls in progress; listeners call back only from depth 1
    bool reentered = false;       // a listener changed the table during the current call
    std::vector<Listener*> made;  // every listener made, each with one reference of the harness
    Input* in = nullptr;

    DBROWCOUNT Rows() {
        DBROWCOUNT rows = -1;
        QV_REQUIRE(table->getRowCount(&rows) == S_OK && rows >= 0);
        return rows;
    }

    // A row: around the table's edges or at the extremes of the range.
    DBROWCOUNT PickRow() {
        DBROWCOUNT rows = Rows();
        const DBROWCOUNT picks[] = {-2,
                                    -1,
                                    0,
                                    1,
                                    2,
                                    3,
                                    rows,
                                    rows + 1,
                                    rows - 1,
                                    INT_MAX,
                                    INT_MIN,
                                    static_cast<DBROWCOUNT>(0x80000000LL),
                                    static_cast<DBROWCOUNT>(-0x80000001LL),
                                    static_cast<DBROWCOUNT>(LLONG_MAX),
                                    static_cast<DBROWCOUNT>(LLONG_MIN)};
        return picks[in->Byte() % (sizeof picks / sizeof picks[0])];
    }
    // A count: small ones, and ones no table could hold (a small table stays below about 70 rows).
    DBROWCOUNT PickCount() {
        DBROWCOUNT rows = Rows();
        const DBROWCOUNT picks[] = {0,
                                    1,
                                    2,
                                    3,
                                    rows,
                                    -1,
                                    INT_MAX,
                                    INT_MAX - rows,
                                    0x40000000,
                                    static_cast<DBROWCOUNT>(0x80000000LL),
                                    static_cast<DBROWCOUNT>(0x100000001LL),
                                    static_cast<DBROWCOUNT>(LLONG_MAX),
                                    static_cast<DBROWCOUNT>(LLONG_MIN)};
        DBROWCOUNT count = picks[in->Byte() % (sizeof picks / sizeof picks[0])];
        return count > 3 && count < 0x40000000 && rows > 64 ? 0 : count;
    }
    DB_LORDINAL PickColumn() {
        const DB_LORDINAL picks[] = {1,
                                     2,
                                     3,
                                     columns,
                                     columns + 1,
                                     0,
                                     -1,
                                     INT_MAX,
                                     INT_MIN,
                                     static_cast<DB_LORDINAL>(0x100000001LL),
                                     static_cast<DB_LORDINAL>(LLONG_MIN)};
        return picks[in->Byte() % (sizeof picks / sizeof picks[0])];
    }

    Listener* Make(uint8_t answer, uint8_t action, uint8_t when) {
        Listener* listener = new Listener(*this, answer, action, when);
        listener->AddRef();
        made.push_back(listener);
        return listener;
    }
    ~Harness() {
        for (Listener* listener : made) listener->Release();
    }

    // Every cell (unless all, only the first and last rows of a larger
    // table) reads, and has a text form to be saved in.
    void ReadCells(bool all) {
        DBROWCOUNT rows = Rows();
        for (DBROWCOUNT r = 1; r <= rows; ++r) {
            if (!all && rows * columns > 1000 && r > 3 && r < rows - 2) r = rows - 2;
            for (DB_LORDINAL c = 1; c <= columns; ++c) {
                OwnedVariant cell;
                qv::WideString form;
                QV_REQUIRE(table->getVariant(r, c, OSPFORMAT_RAW, &cell.v) == S_OK);
                QV_REQUIRE(cell.v.vt == VT_BSTR || cell.v.vt == VT_EMPTY || cell.v.vt == VT_NULL ||
                           qv::VariantToText(cell.v, form));
            }
        }
    }
    void CheckInvariants();
    void Call();
};

// The storage a by-reference VARIANT points into, alive for one call.
struct ValueStorage {
    uint8_t scalar[16] = {};
    BSTR text = nullptr;
    IUnknown* object = nullptr;
    VARIANT inner;
    VARIANT innermost;
    ValueStorage() {
        std::memset(&inner, 0, sizeof inner);
        std::memset(&innermost, 0, sizeof innermost);
    }
    ~ValueStorage() { SysFreeString(text); }
};

const VARTYPE kTypes[] = {VT_EMPTY,
                          VT_NULL,
                          VT_I2,
                          VT_I4,
                          VT_R4,
                          VT_R8,
                          VT_CY,
                          VT_DATE,
                          VT_BSTR,
                          VT_BSTR,
                          VT_BSTR,
                          VT_BSTR,
                          VT_DISPATCH,
                          VT_ERROR,
                          VT_BOOL,
                          VT_VARIANT,
                          VT_UNKNOWN,
                          VT_DECIMAL,
                          VT_I1,
                          VT_UI1,
                          VT_UI2,
                          VT_UI4,
                          VT_I8,
                          VT_UI8,
                          VT_INT,
                          VT_UINT,
                          VT_RECORD,
                          15,
                          0x7FFF,
                          VT_ARRAY | VT_I4,
                          VT_ARRAY | VT_BSTR,
                          0x1000 | VT_I4};

// A string from the input: characters of the byte's value, 0xFF taking two
// more bytes as one UTF-16 unit; or a null BSTR.
BSTR MakeText(Input& in) {
    size_t length = in.Byte() % 12;
    if (length == 11) return nullptr;
    Wide text;
    for (size_t i = 0; i < length; ++i) {
        OLECHAR c = in.Byte();
        if (c == 0xFF) c = static_cast<OLECHAR>(in.Bytes(2));
        text.push_back(c);
    }
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Fills value (and storage, which it may point into) from the input. Every
// pointer it holds is null or valid; plain scalars get arbitrary bits.
void MakeVariant(Input& in, Harness& harness, VARIANT& value, ValueStorage& storage) {
    std::memset(&value, 0, sizeof value);
    uint8_t pick = in.Byte();
    VARTYPE type = kTypes[pick % (sizeof kTypes / sizeof kTypes[0])];
    const bool byReference = pick & 0x80;
    const bool nullPointer = (pick & 0x60) == 0x60;
    uint64_t bits[2] = {in.Bytes(8), in.Bytes(8)};
    std::memcpy(storage.scalar, bits, sizeof bits);
    if (type == VT_BSTR) storage.text = MakeText(in);
    if ((type == VT_UNKNOWN || type == VT_DISPATCH) && !nullPointer) {
        // A live object: the table must not keep it (nor its reference).
        if (!harness.made.empty()) storage.object = harness.made.front();
    }
    const WORD reserved = static_cast<WORD>(in.Bytes(2));
    if (!byReference) {
        value.vt = type;
        value.wReserved1 = reserved;  // a string's mark in a cell is the table's business, not the caller's
        if (type == VT_BSTR) {
            value.bstrVal = storage.text;
        } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
            value.punkVal = storage.object;
        } else if (type == VT_DECIMAL) {
            std::memcpy(&value.decVal, storage.scalar, sizeof value.decVal);
            value.vt = VT_DECIMAL;  // the decimal overlays the type
        } else if (!(type & VT_ARRAY) && type != VT_RECORD && type != VT_VARIANT) {
            std::memcpy(&value.llVal, storage.scalar, sizeof value.llVal);
        }
        return;
    }
    if (type == VT_VARIANT) {
        // A reference to a VARIANT, which may refer on once more.
        value.vt = VT_BYREF | VT_VARIANT;
        value.pvarVal = nullPointer ? nullptr : &storage.inner;
        uint8_t nested = in.Byte();
        VARTYPE innerType = kTypes[nested % (sizeof kTypes / sizeof kTypes[0])];
        if (innerType == VT_VARIANT || (nested & 0x80)) {
            storage.inner.vt = VT_BYREF | (innerType == VT_VARIANT ? VT_VARIANT : VT_I4);
            storage.inner.byref = (nested & 0x40) ? nullptr : static_cast<void*>(storage.scalar);
            if (innerType == VT_VARIANT && storage.inner.byref) storage.inner.pvarVal = &storage.innermost;
            std::memcpy(&storage.innermost.llVal, storage.scalar, sizeof storage.innermost.llVal);
            storage.innermost.vt = VT_I4;
        } else if (innerType == VT_BSTR) {
            storage.inner.vt = VT_BSTR;
            storage.inner.bstrVal = storage.text ? storage.text : (storage.text = MakeText(in));
        } else if (!(innerType & VT_ARRAY) && innerType != VT_RECORD && innerType != VT_UNKNOWN &&
                   innerType != VT_DISPATCH) {
            storage.inner.vt = innerType;
            std::memcpy(&storage.inner.llVal, storage.scalar, sizeof storage.inner.llVal);
        }
        return;
    }
    value.vt = VT_BYREF | type;
    if (nullPointer) return;  // byref stays null
    if (type == VT_BSTR) {
        value.pbstrVal = &storage.text;
    } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
        value.ppunkVal = &storage.object;
    } else if (!(type & VT_ARRAY) && type != VT_RECORD) {
        value.byref = storage.scalar;
    }
}

HRESULT Listener::Event(int kind) {
    HRESULT answer = answer_ & (1 << kind) ? E_FAIL : S_OK;
    if (when_ % 6 != kind || harness_.depth != 1) return answer;
    ++harness_.depth;
    TableProbe* table = harness_.table;
    DBROWCOUNT count = 0;
    switch (action_ % 8) {
        case 0:
            harness_.ReadCells(true);
            break;
        case 1: {
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_BSTR;
            value.bstrVal = SysAllocString(OLESTR("listener"));
            if (table->setVariant(1, 1, OSPFORMAT_RAW, value) == S_OK) harness_.reentered = true;
            VariantClear(&value);
            break;
        }
        case 2:
            if (table->insertRows(1, 1, &count) == S_OK) harness_.reentered = true;
            break;
        case 3:
            if (table->deleteRows(1, 1, &count) == S_OK) harness_.reentered = true;
            break;
        case 4:
            if (table->deleteRows(-1, 0, &count) == S_OK) harness_.reentered = true;
            break;
        case 5:
            table->removeOLEDBSimpleProviderListener(this);
            break;
        case 6: {
            Listener* other = harness_.Make(0, 0, 0xFF);
            QV_REQUIRE(table->addOLEDBSimpleProviderListener(other) == S_OK);
            break;
        }
        default: {
            DBROWCOUNT found = 0;
            VARIANT sought;
            VariantInit(&sought);
            table->find(1, 1, sought, OSPFIND_DEFAULT, OSPCOMP_EQ, &found);
            break;
        }
    }
    --harness_.depth;
    return answer;
}

void Harness::CheckInvariants() {
    DB_LORDINAL now = -1;
    QV_REQUIRE(table->getColumnCount(&now) == S_OK && now == columns);
    ReadCells(false);
    OwnedVariant cell;
    QV_REQUIRE(table->getVariant(Rows() + 1, 1, OSPFORMAT_RAW, &cell.v) == E_INVALIDARG);
    QV_REQUIRE(table->getVariant(1, columns + 1, OSPFORMAT_RAW, &cell.v) == E_INVALIDARG);
    QV_REQUIRE(cell.v.vt == VT_EMPTY);
}

// The text that a value given to setVariant is stored as.
bool StoredText(const VARIANT& given, Wide& text) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantCopyInd(&value, &given))) return false;
    text.clear();
    bool known = true;
    if (value.vt == VT_BSTR) {
        text.assign(value.bstrVal ? value.bstrVal : OLESTR(""), SysStringLen(value.bstrVal));
    } else if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
        qv::WideString form;
        known = qv::VariantToText(value, form);
        text.assign(form.begin(), form.end());
    }
    VariantClear(&value);
    return known;
}

void Harness::Call() {
    const uint8_t op = in->Byte();
    reentered = false;
    depth = 1;
    DBROWCOUNT before = Rows();
    switch (op % 11) {
        case 0: {
            DBROWCOUNT row = PickRow();
            DB_LORDINAL column = PickColumn();
            VARIANT value;
            VariantInit(&value);
            HRESULT hr = table->getVariant(row, column, static_cast<OSPFORMAT>(in->Byte() % 3),
                                           in->Byte() & 1 ? nullptr : &value);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG);
            QV_REQUIRE(VariantClear(&value) == S_OK);
            break;
        }
        case 1:
        case 2: {
            DBROWCOUNT row = PickRow();
            DB_LORDINAL column = PickColumn();
            ValueStorage storage;
            VARIANT value;
            MakeVariant(*in, *this, value, storage);
            HRESULT hr = table->setVariant(row, column, static_cast<OSPFORMAT>(in->Byte() % 3), value);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG);
            Wide text;
            if (hr == S_OK && !reentered && StoredText(value, text)) {
                Wide stored = CellText(table, row, column, FileText);
                if (stored != text) {
                    std::fprintf(stderr, "vt %04x at (%ld, %ld) reads back other than given\n", value.vt,
                                 static_cast<long>(row), static_cast<long>(column));
                    qvfuzz::Dump("given, read", {{text, stored}});
                    std::abort();
                }
            }
            break;
        }
        case 3: {
            DBROWCOUNT row = PickRow(), count = PickCount(), inserted = -7;
            HRESULT hr = table->insertRows(row, count, in->Byte() & 0x0F ? &inserted : nullptr);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG || hr == E_FAIL);
            if (hr != E_INVALIDARG && !reentered) QV_REQUIRE(Rows() == before + inserted);
            if (hr == S_OK) QV_REQUIRE(inserted == count);
            if (hr == E_INVALIDARG) QV_REQUIRE(Rows() == before || reentered);
            break;
        }
        case 4: {
            DBROWCOUNT row = PickRow(), count = PickCount(), deleted = -7;
            HRESULT hr = table->deleteRows(row, count, in->Byte() & 0x0F ? &deleted : nullptr);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG);
            if (hr == S_OK && !reentered) QV_REQUIRE(Rows() == before - deleted && deleted >= 0);
            if (hr == E_INVALIDARG) QV_REQUIRE(Rows() == before || reentered);
            break;
        }
        case 5: {
            DBROWCOUNT start = PickRow(), found = -7;
            DB_LORDINAL column = PickColumn();
            ValueStorage storage;
            VARIANT value;
            MakeVariant(*in, *this, value, storage);
            OSPFIND flags = static_cast<OSPFIND>(in->Byte() % 6);
            OSPCOMP comparison = static_cast<OSPCOMP>(static_cast<int8_t>(in->Byte()) % 9);
            HRESULT hr = table->find(start, column, value, flags, comparison, in->Byte() & 0x0F ? &found : nullptr);
            QV_REQUIRE(hr == S_OK || hr == E_FAIL || hr == E_INVALIDARG);
            if (hr == S_OK) QV_REQUIRE(found >= 1 && found <= Rows());
            if (hr == E_FAIL) QV_REQUIRE(found == -1);
            break;
        }
        case 6: {
            if (made.size() >= 6) break;
            uint8_t answer = in->Byte(), action = in->Byte(), when = in->Byte();
            QV_REQUIRE(table->addOLEDBSimpleProviderListener(Make(answer, action, when)) == S_OK);
            break;
        }
        case 7: {
            // One the table may hold or may have let go of, or null.
            uint8_t pick = in->Byte();
            Listener* listener = made.empty() || pick == 0 ? nullptr : made[pick % made.size()];
            HRESULT hr = table->removeOLEDBSimpleProviderListener(listener);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG || hr == E_FAIL);
            break;
        }
        case 8: {
            OSPRW status;
            HRESULT hr = table->getRWStatus(PickRow(), PickColumn(), in->Byte() & 1 ? nullptr : &status);
            QV_REQUIRE(hr == S_OK || hr == E_INVALIDARG);
            break;
        }
        case 9: {
            BSTR locale = nullptr;
            QV_REQUIRE(table->getLocale(&locale) == S_OK && SysStringLen(locale) > 0);
            SysFreeString(locale);
            break;
        }
        default: {
            DBROWCOUNT estimate = -7;
            BOOL async = FALSE;
            QV_REQUIRE(table->getEstimatedRows(&estimate) == S_OK && estimate == Rows());
            QV_REQUIRE(table->isAsync(&async) == S_OK && table->stopTransfer() == S_OK);
            break;
        }
    }
    depth = 0;
    CheckInvariants();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = qvfuzz::Scratch() + "/t.txt";
    // No request for an array this big is granted: counts no table could
    // hold fail at once instead of exhausting memory.
    qv::SetSizeLimit(16 << 20);
    Input in{data, size};
    const std::string original = kFiles[in.Byte() % (sizeof kFiles / sizeof kFiles[0])];
    WriteBytes(path, original);
    TableRef ref;
    QV_REQUIRE(TableProbe::Open(path, &ref.table) == S_OK);

    Harness harness;
    harness.table = ref.table;
    harness.in = &in;
    QV_REQUIRE(ref->getColumnCount(&harness.columns) == S_OK);
    harness.CheckInvariants();
    for (int calls = 0; in.More() && calls < 64; ++calls) harness.Call();

    std::vector<std::vector<Wide>> text = ReadTable(ref.table, FileText);
    for (std::vector<Wide>& row : text)
        for (Wide& cell : row) cell = qvfuzz::ReadBack(cell);
    const bool modified = ref->Modified();
    ref.Reset();  // saves a changed table

    QV_REQUIRE(Entries(qvfuzz::Scratch()) == std::vector<std::string>{"t.txt"});
    if (!modified) {
        QV_REQUIRE(ReadBytes(path) == original);
        return 0;
    }
    // The file keeps no trailing empty cells, and a table of no rows has no width.
    QV_REQUIRE(TableProbe::Open(path, &ref.table) == S_OK);
    std::vector<std::vector<Wide>> again = ReadTable(ref.table, FileText);
    if (again != text) {
        qvfuzz::Dump("table", text);
        qvfuzz::Dump("reloaded", again);
        std::abort();
    }
    return 0;
}
