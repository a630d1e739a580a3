// Helpers shared by the unit tests: wide strings from narrow literals, a table
// built without a file, and a guard that disarms the allocation hook.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ReferenceLoader.h"
#include "platform/Platform.h"
#include "table/VxASCOSPObject.h"

namespace qvtest {

typedef std::basic_string<OLECHAR> Wide;

// Widens each byte to the code point of the same value (as the reader does).
inline Wide W(const std::string& bytes) {
    Wide out;
    for (unsigned char c : bytes) out.push_back(static_cast<OLECHAR>(c));
    return out;
}

// Narrows code points up to U+00FF back to bytes; others become '?'.
inline std::string N(const OLECHAR* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) out.push_back(text[i] <= 0xFF ? static_cast<char>(text[i]) : '?');
    return out;
}
inline std::string N(BSTR text) { return N(text, SysStringLen(text)); }

// Disarms the allocation hook when a test ends, whatever happened.
struct AllocFailureGuard {
    ~AllocFailureGuard() {
        qv::SetAllocFailure(0);
        qv::SetBstrLengthLimit(0);
    }
};

// A table with no file, whose routines tests call directly.
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
    void SetDelimitersWide(const OLECHAR* delimiters) { qv::WideCopy(delimiters_, delimiters, kMaxDelimiters); }
    void SetColumnCount(LONG columns) { columnCount_ = columns; }
    LONG ColumnCount() const { return columnCount_; }
    VxArray<ROWHEADER*>& Rows() { return rows_; }
    // True when the live-object token lies before the first other member.
    bool TokenIsFirst() const { return reinterpret_cast<uintptr_t>(&liveToken_) < reinterpret_cast<uintptr_t>(&rows_); }

    // The field count of a line under the delimiters, by the plain reading.
    LONG Count(const std::string& line) const {
        return static_cast<LONG>(ReferenceFields(line, Wide(delimiters_)).size());
    }
    HRESULT Parse(const std::string& line) {
        return ParseRecord(reinterpret_cast<const unsigned char*>(line.data()), line.size());
    }

    // The cells of a row as text: "<empty>" for VT_EMPTY, the string otherwise.
    std::vector<std::string> Cells(int row) {
        std::vector<std::string> out;
        ROWHEADER* header = rows_[row];
        for (LONG i = 0; i < columnCount_; ++i) {
            const VARIANT& cell = header->CellOrEmpty(i);
            out.push_back(cell.vt == VT_EMPTY ? "<empty>" : cell.vt == VT_BSTR ? N(cell.bstrVal) : "<other>");
        }
        return out;
    }
};

}  // namespace qvtest
