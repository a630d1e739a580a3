// Splitting a line of delimited text into fields: any character of the
// delimiter set outside quotes separates fields; the double quote switches
// quoting on and off wherever it stands, and two of them inside quotes stand
// for one. Nothing is trimmed, and a line always has at least one field.
//
// A line is bytes; a field's byte b becomes the character U+00b of its cell,
// so a delimiter above U+00FF never separates anything. Each line is walked
// once with a table of byte classes. A field is a span of the line, a quoted
// one unquoted where it lies (unquoting never lengthens it), and each cell
// refers to its span: the line's bytes are the table's text.
#include <cstring>

#include "VxASCOSPObject.h"

namespace {
const unsigned char kQuote = '"';
}

void VxASCOSPObject::ClassifyBytes() {
    std::memset(byteClasses_, kPlainByte, sizeof byteClasses_);
    for (const OLECHAR* d = delimiters_; *d; ++d)
        if (*d <= 0xFF) byteClasses_[*d] = kDelimiterByte;
    byteClasses_[kQuote] = kQuoteByte;  // the set never holds it
}

bool VxASCOSPObject::SplitFields(unsigned char* line, size_t length) {
    const unsigned char* const classes = byteClasses_;
    unsigned char* p = line;
    unsigned char* const end = line + length;
    fields_.count = 0;
    for (;;) {
        if (fields_.count == fields_.capacity && !qv::GrowBlock(fields_.spans, fields_.capacity, fields_.count, 1))
            return false;
        FieldSpan& field = fields_.spans[fields_.count++];
        unsigned char* const start = p;
        while (p < end && classes[*p] == kPlainByte) ++p;
        unsigned char* out = p;
        if (p < end && classes[*p] == kQuoteByte) {
            // A quote: the rest of the field is unquoted in place.
            bool quoting = false;
            for (; p < end; ++p) {
                unsigned char c = *p;
                if (c == kQuote) {
                    if (quoting && p + 1 < end && p[1] == kQuote) {
                        *out++ = kQuote;
                        ++p;
                    } else {
                        quoting = !quoting;
                    }
                } else if (!quoting && classes[c] == kDelimiterByte) {
                    break;
                } else {
                    *out++ = c;
                }
            }
        }
        field.offset = static_cast<size_t>(start - line);
        field.length = static_cast<size_t>(out - start);
        if (p == end) return true;
        ++p;  // the delimiter
    }
}

HRESULT VxASCOSPObject::AppendFields(const unsigned char* line, size_t length) {
    if (fields_.count > static_cast<size_t>(columnCount_)) return E_FAIL;
    ROWHEADER* row = nullptr;
    HRESULT hr = AllocLoadedRow(static_cast<LONG>(fields_.count), line, length, &row);
    if (FAILED(hr)) return hr;
    // A cell refers to its field where the line lets it; a field past what a
    // cell can reach (a line of 4 GiB and more) is a string of its own. One
    // longer than a BSTR can be (2^31 characters and more) fails the load
    // rather than be cut short.
    const size_t longest = qv::LongestBstr();
    bool fits = true;
    if (row->Compact()) {
        // Every offset and length of a line this short fits its four bytes.
        uint32_t* cells = row->CompactCells();
        for (size_t i = 0; i < fields_.count; ++i) {
            const FieldSpan& field = fields_.spans[i];
            fits = fits && field.length <= longest;
            cells[i] = ROWHEADER::CompactCell(field.offset, field.length);
        }
    } else if (length > VxCell::kFarthestOffset) {
        std::memset(static_cast<void*>(row->cells), 0, fields_.count * sizeof(VxCell));
        for (size_t i = 0; i < fields_.count && fits; ++i) {
            const FieldSpan& field = fields_.spans[i];
            fits = field.length <= longest && SUCCEEDED(HoldText(line + field.offset, field.length, row->cells[i]));
        }
    } else {
        for (size_t i = 0; i < fields_.count; ++i) {
            const FieldSpan& field = fields_.spans[i];
            fits = fits && field.length <= longest;
            row->cells[i] = VxCell::Text(static_cast<uint32_t>(field.offset), static_cast<uint32_t>(field.length));
        }
    }
    if (!fits) {
        FreeRow(row);
        return E_FAIL;
    }
    CSingleLock lock(rows_.GetLock());
    columnLengths_.Clear();
    try {
        rows_.Add(row);
    } catch (const VxOutOfMemoryError&) {
        FreeRow(row);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT VxASCOSPObject::ParseRecord(const unsigned char* line, size_t length) {
    // The line becomes the row's text: a copy of it in a block of lines.
    unsigned char* text = blocks_.AddLines(length ? length : 1);
    if (!text) return E_OUTOFMEMORY;
    if (length) std::memcpy(text, line, length);
    ClassifyBytes();
    if (!SplitFields(text, length)) return E_OUTOFMEMORY;
    return AppendFields(text, length);
}
