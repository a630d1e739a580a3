// Splitting a line of delimited text into fields: any character of the
// delimiter set outside quotes separates fields; the double quote switches
// quoting on and off wherever it stands, and two of them inside quotes stand
// for one. Nothing is trimmed, and a line always has at least one field.
#include "VxASCOSPObject.h"

namespace {
const OLECHAR kQuote = OLESTR('"');
}

bool VxASCOSPObject::IsDelimiter(OLECHAR c) const {
    for (const OLECHAR* d = delimiters_; *d; ++d)
        if (*d == c) return true;
    return false;
}

LONG VxASCOSPObject::CountColumns(const OLECHAR* line, size_t length) const {
    LONG count = 1;
    bool quoting = false;
    for (size_t i = 0; i < length; ++i) {
        OLECHAR c = line[i];
        if (c == kQuote) {
            if (!quoting) quoting = true;
            else if (i + 1 < length && line[i + 1] == kQuote) ++i;
            else quoting = false;
        } else if (!quoting && IsDelimiter(c)) {
            ++count;
        }
    }
    return count;
}

HRESULT VxASCOSPObject::ParseRecord(const OLECHAR* line, size_t length) {
    ROWHEADER* row = nullptr;
    HRESULT hr = AllocRow(columnCount_, &row);
    if (FAILED(hr)) return hr;

    // A field's text is never longer than the line, so one buffer of the
    // line's length holds any field.
    if (!qv::GrowBlock(fieldBuffer_.text, fieldBuffer_.size, 0, length + 1)) {
        FreeRow(row);
        return E_FAIL;
    }

    OLECHAR* field = fieldBuffer_.text;
    size_t fieldLength = 0;
    LONG cell = 0;
    bool quoting = false;
    // Ends the current field: stores it in the next cell. The load pass never
    // hands over a line with more fields than the row has cells.
    auto storeField = [&]() -> bool {
        if (cell >= columnCount_) return false;
        BSTR text = qv::AllocBstrLen(field, static_cast<unsigned>(fieldLength));
        if (!text) return false;
        row->cells[cell].vt = VT_BSTR;
        row->cells[cell].bstrVal = text;
        ++cell;
        fieldLength = 0;
        return true;
    };

    for (size_t i = 0; i < length && SUCCEEDED(hr); ++i) {
        OLECHAR c = line[i];
        if (!quoting && IsDelimiter(c)) {
            if (!storeField()) hr = E_FAIL;
        } else if (c == kQuote) {
            if (quoting && i + 1 < length && line[i + 1] == kQuote) {
                field[fieldLength++] = kQuote;
                ++i;
            } else {
                quoting = !quoting;
            }
        } else {
            field[fieldLength++] = c;
        }
    }
    if (SUCCEEDED(hr) && !storeField()) hr = E_FAIL;

    if (SUCCEEDED(hr)) {
        CSingleLock lock(rows_.GetLock());
        try {
            rows_.Add(row);
        } catch (const VxOutOfMemoryError&) {
            hr = E_FAIL;
        }
    }
    if (FAILED(hr)) FreeRow(row);
    return hr;
}
