// Splitting a line of delimited text into fields: any character of the
// delimiter set outside quotes separates fields; the double quote switches
// quoting on and off wherever it stands, and two of them inside quotes stand
// for one. Nothing is trimmed, and a line always has at least one field.
//
// A line is bytes; a field's byte b becomes the character U+00b of its cell,
// so a delimiter above U+00FF never separates anything. Each line is walked
// once with a table of byte classes: a field without a quote is a span of the
// line, a field with one is unquoted into scratch space.
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

bool VxASCOSPObject::SplitFields(const unsigned char* line, size_t length) {
    // Unquoted text is never longer than the line.
    if (fields_.byteCapacity < length && !qv::GrowBlock(fields_.bytes, fields_.byteCapacity, 0, length)) return false;
    const unsigned char* const classes = byteClasses_;
    const unsigned char* p = line;
    const unsigned char* const end = line + length;
    unsigned char* out = fields_.bytes;
    fields_.count = 0;
    for (;;) {
        if (fields_.count == fields_.capacity && !qv::GrowBlock(fields_.spans, fields_.capacity, fields_.count, 1))
            return false;
        FieldSpan& field = fields_.spans[fields_.count++];
        const unsigned char* start = p;
        while (p < end && classes[*p] == kPlainByte) ++p;
        if (p == end || classes[*p] == kDelimiterByte) {
            field.text = start;
            field.length = static_cast<size_t>(p - start);
        } else {
            // A quote: the field is unquoted from its start.
            unsigned char* text = out;
            std::memcpy(out, start, static_cast<size_t>(p - start));
            out += p - start;
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
            field.text = text;
            field.length = static_cast<size_t>(out - text);
        }
        if (p == end) return true;
        ++p;  // the delimiter
    }
}

HRESULT VxASCOSPObject::AppendFields() {
    if (fields_.count > static_cast<size_t>(columnCount_)) return E_FAIL;
    ROWHEADER* row = nullptr;
    HRESULT hr = AllocLoadedRow(static_cast<LONG>(fields_.count), &row);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < fields_.count; ++i) {
        const FieldSpan& field = fields_.spans[i];
        // Fields go into the table's string blocks, a long one into a heap
        // string of its own; one longer than a BSTR can be (2^31 characters
        // and more) gets none, and fails the load rather than be cut short.
        const bool inBlock = field.length <= VxTableBlocks::kLongestString;
        BSTR text = inBlock ? blocks_.Widen(field.text, field.length) : qv::AllocBstrLen(nullptr, field.length);
        if (!text) {
            FreeRow(row);
            return E_FAIL;
        }
        VARIANT& cell = row->cells[i];
        if (inBlock) {
            VxTableBlocks::HoldString(cell, text, field.length);
        } else {
            for (size_t k = 0; k < field.length; ++k) text[k] = static_cast<OLECHAR>(field.text[k]);
            cell.vt = VT_BSTR;
            VxTableBlocks::Unmark(cell);
            cell.bstrVal = text;
        }
    }
    CSingleLock lock(rows_.GetLock());
    try {
        rows_.Add(row);
    } catch (const VxOutOfMemoryError&) {
        FreeRow(row);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT VxASCOSPObject::ParseRecord(const unsigned char* line, size_t length) {
    ClassifyBytes();
    if (!SplitFields(line, length)) return E_OUTOFMEMORY;
    return AppendFields();
}
