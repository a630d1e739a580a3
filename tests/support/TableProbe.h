// The table whose protected state the tests reach, the references a test
// holds on it, and the VARIANTs its rows are built from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Files.h"
#include "ReferenceLoader.h"
#include "Text.h"
#include "common/Guids.h"
#include "common/HResults.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"
#include "table/VxASCOSPObject.h"

namespace qvtest {

// A VARIANT that clears itself; the constructors make the common values.
struct OwnedVariant {
    VARIANT v;
    OwnedVariant() { VariantInit(&v); }
    explicit OwnedVariant(const std::string& text) : OwnedVariant(W(text)) {}
    explicit OwnedVariant(const Wide& text) : OwnedVariant() {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    static OwnedVariant I4(LONG value) {
        OwnedVariant out;
        out.v.vt = VT_I4;
        out.v.lVal = value;
        return out;
    }
    OwnedVariant(OwnedVariant&& other) noexcept : v(other.v) { VariantInit(&other.v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&v); }
};

// The table with its protected state in reach: one built without a file,
// row by row, whose routines and writer tests call directly, or one opened
// from a data-member string (Open).
class TableProbe : public VxASCOSPObject {
public:
    explicit TableProbe(const std::string& delimiters = ",", LONG columns = 0) {
        SetDelimiters(delimiters);
        columnCount_ = columns;
    }
    using VxASCOSPObject::AllocRow;
    using VxASCOSPObject::FreeRow;
    using VxASCOSPObject::RemoveAllRows;

    void SetDelimiters(const std::string& delimiters) {
        Wide wide = W(delimiters);
        qv::WideCopy(delimiters_, wide.c_str(), kMaxDelimiters);
    }
    void SetDelimitersWide(const Wide& delimiters) { qv::WideCopy(delimiters_, delimiters.c_str(), kMaxDelimiters); }
    void SetColumnCount(LONG columns) { columnCount_ = columns; }
    LONG ColumnCount() const { return columnCount_; }
    VxArray<ROWHEADER*>& RowArray() { return rows_; }

    // The field count of a line under the delimiters, by the plain reading.
    LONG Count(const std::string& line) const {
        return static_cast<LONG>(ReferenceFields(line, Wide(delimiters_)).size());
    }
    HRESULT Parse(const std::string& line) {
        return ParseRecord(reinterpret_cast<const unsigned char*>(line.data()), line.size());
    }

    // The cells of a row as text (CellText).
    std::vector<std::string> Cells(int row) {
        std::vector<std::string> out;
        for (LONG i = 0; i < columnCount_; ++i) out.push_back(CellText(RowCell(row, i).v));
        return out;
    }

    using VxASCOSPObject::FormatRow;
    using VxASCOSPObject::WriteTable;

    // An in-memory file for WriteTable: every block handed over is appended.
    struct MemorySink : FileSink {
        std::string bytes;
        int writes = 0;
        bool fail = false;
        bool Write(const void* data, size_t count) override {
            ++writes;
            if (fail) return false;
            bytes.append(static_cast<const char*>(data), count);
            return true;
        }
    };

    // Appends a row whose cells take the values given (VT_EMPTY after them);
    // the table keeps copies.
    void AddRow(const std::vector<VARIANT>& values) {
        ROWHEADER* row = nullptr;
        ASSERT_EQ(S_OK, AllocRow(columnCount_, &row));
        for (size_t i = 0; i < values.size(); ++i) {
            OwnedVariant copy;
            VariantCopy(&copy.v, const_cast<VARIANT*>(&values[i]));
            ASSERT_EQ(S_OK, HoldValue(copy.v, row->cells[i]));
        }
        rows_.Add(row);
        columnLengths_.Clear();
    }
    // The line FormatRow makes of row r, or the failure in hr.
    std::string Format(int r, HRESULT* hr = nullptr) {
        ByteBuffer line;
        HRESULT result = FormatRow(rows_[r], line);
        if (hr) *hr = result;
        return std::string(line.bytes ? line.bytes : "", line.length);
    }

    using VxASCOSPObject::SaveToFile;
    using VxASCOSPObject::VxASCOSPObject;

    // Opens the table (bytes widened); the HRESULT of the construction. The
    // table returned holds one reference.
    static HRESULT Open(const std::string& dataMember, TableProbe** table) { return Open(W(dataMember), table); }
    static HRESULT Open(const Wide& dataMember, TableProbe** table) {
        *table = nullptr;
        try {
            *table = new TableProbe(dataMember.c_str());
        } catch (HRESULT hr) {
            return hr;
        }
        (*table)->AddRef();
        return S_OK;
    }

    LONG Rows() {
        DBROWCOUNT rows = 0;
        getRowCount(&rows);
        return static_cast<LONG>(rows);
    }
    LONG CellsHeld(int r) { return rows_[r]->cellCount; }
    int RowArraySize() { return rows_.GetSize(); }
    bool Modified() const { return modified_ != 0; }
    Wide Delimiters() const { return Wide(delimiters_); }

    // A copy of cell c (from 0) of row r, VT_EMPTY past the row's cells.
    OwnedVariant RowCell(int r, LONG c) {
        OwnedVariant out;
        EXPECT_EQ(S_OK, CopyCell(rows_[r], c, &out.v));
        return out;
    }
    // The same by column number.
    OwnedVariant Cell(int r, int column) { return RowCell(r, column - 1); }

    // Stores a copy of value in a cell and marks the table modified, as an edit would.
    void Store(int r, int column, const VARIANT& value) {
        ASSERT_EQ(S_OK, GrowRow(rows_[r], column));
        OwnedVariant copy;
        VariantCopy(&copy.v, const_cast<VARIANT*>(&value));
        ASSERT_EQ(S_OK, HoldValue(copy.v, rows_[r]->cells[column - 1]));
        columnLengths_.Changed(column - 1, r, rows_[r]->cells[column - 1]);
        modified_ = 1;
    }
    void StoreText(int r, int column, const Wide& text) { Store(r, column, OwnedVariant(text).v); }
    // Edits a cell as a client does, the first edit's check included.
    HRESULT Edit(int r, int column, const Wide& text) {
        return setVariant(r, column, OSPFORMAT_RAW, OwnedVariant(text).v);
    }
    void MarkModified(bool modified = true) { modified_ = modified ? 1 : 0; }
    // Appends a row of no cells, as insertRows makes one.
    void AppendRow() {
        ROWHEADER* row = nullptr;
        ASSERT_EQ(S_OK, AllocRow(0, &row));
        rows_.Add(row);
        columnLengths_.Clear();
        modified_ = 1;
    }
};

// Holds one reference and gives it back at the end of the scope.
template <class T>
struct Held {
    T* held = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { Reset(); }
    void Reset() {
        if (held) held->Release();
        held = nullptr;
    }
    T* operator->() const { return held; }
};

// Holds the one reference of an opened table.
struct TableRef : Held<TableProbe> {
    TableProbe*& table = held;
};

// The table's save interface as a client gets it, through QueryInterface;
// holds the reference that gives.
struct SaveInterface : Held<VxTableSave> {
    VxTableSave*& save = held;
    explicit SaveInterface(OLEDBSimpleProvider* table) {
        void* out = nullptr;
        EXPECT_EQ(S_OK, table->QueryInterface(IID_VxTableSave, &out));
        save = static_cast<VxTableSave*>(out);
    }
    bool Modified() {
        BOOL modified = 2;
        EXPECT_EQ(S_OK, save->getModified(&modified));
        EXPECT_TRUE(modified == TRUE || modified == FALSE);
        return modified == TRUE;
    }
    // "kind path" of what the last save kept; a kind with no path, or a
    // path with nothing kept, fails the test.
    std::string Kept() {
        VXKEPT kind = static_cast<VXKEPT>(-1);
        BSTR path = nullptr;
        EXPECT_EQ(S_OK, save->getKeptFile(&kind, &path));
        EXPECT_EQ(kind == VXKEPT_NOTHING, path == nullptr) << "kind " << kind;
        std::string text = std::to_string(kind) + (path ? " " + N(path) : "");
        SysFreeString(path);
        return text;
    }
};

// Writes bytes to folder/name and opens it with the option ("" for none).
inline HRESULT OpenBytes(const fs::path& file, const std::string& bytes, const std::string& option, TableRef& ref) {
    WriteBytes(file, bytes);
    return TableProbe::Open(file.string() + option, &ref.table);
}

// VARIANTs for building rows; the strings are owned by the Values list.
struct Values {
    std::vector<VARIANT> list;
    ~Values() {
        for (VARIANT& v : list) VariantClear(&v);
    }
    Values& Text(const Wide& text) {
        OwnedVariant value(text);
        list.push_back(value.v);
        VariantInit(&value.v);  // the list owns the string now
        return *this;
    }
    Values& Bytes(const std::string& bytes) { return Text(W(bytes)); }
    Values& Empty() { return Of(VT_EMPTY); }
    Values& Of(VARTYPE vt) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        list.push_back(v);
        return *this;
    }
    Values& I4(LONG value) {
        Of(VT_I4);
        list.back().lVal = value;
        return *this;
    }
    Values& R8(double value) {
        Of(VT_R8);
        list.back().dblVal = value;
        return *this;
    }
};

}  // namespace qvtest
