// The text that a table writes back to its file. Each data row becomes one line ended by
// CR LF; every written cell is a field enclosed in double quotes with its
// quotes doubled, so that delimiters, blanks and quotes survive; characters up
// to U+00FF become the byte of the same value, the exact inverse of the
// reader, and only characters above it go through the narrow conversion.
#include <new>

#include "TableWriter.h"

#include "VxASCOSPObject.h"
#include "platform/TextConversion.h"
#include "platform/VariantText.h"

namespace {

const char kQuote = '"';
const OLECHAR kLineFeed = 0x0A;
const OLECHAR kEndOfFile = 0x1A;    // Ctrl-Z: the reader stops at it
const size_t kFlushSize = 1 << 20;  // bytes gathered before they go to the file

// The bytes a character up to U+00FF takes in a quoted field: the quote is
// doubled, and no field can hold a line feed or a Ctrl-Z and read it back.
constexpr int ByteLength(unsigned c) { return c == kLineFeed || c == kEndOfFile ? 0 : c == kQuote ? 2 : 1; }

// The characters up to U+00FF that go into a field as they are.
struct PlainBytes {
    bool plain[256];
    constexpr PlainBytes() : plain() {
        for (unsigned c = 0; c < 256; ++c) plain[c] = ByteLength(c) == 1;
    }
};
constexpr PlainBytes kPlainBytes;

bool IsHighSurrogate(OLECHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(OLECHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int FieldCharacter(const OLECHAR* text, size_t length, size_t k, char (&out)[kMaxFieldCharacterBytes], int& units) {
    const OLECHAR c = text[k];
    units = 1;
    if (c <= 0xFF) {
        const int bytes = ByteLength(c);
        for (int b = 0; b < bytes; ++b) out[b] = static_cast<char>(c);
        return bytes;
    }
    if (IsHighSurrogate(c) && k + 1 < length && IsLowSurrogate(text[k + 1])) units = 2;
    return qv::NarrowFromWideExact(text + k, units, out, kMaxFieldCharacterBytes);
}

OLECHAR VxASCOSPObject::WriteDelimiter() const {
    // The reader meets only characters up to U+00FF, never a line feed, and
    // nothing after a Ctrl-Z: any other delimiter would join the fields it
    // stands between when the file is read again.
    for (const OLECHAR* d = delimiters_; *d; ++d)
        if (*d <= 0xFF && *d != kLineFeed && *d != kEndOfFile) return *d;
    return 0;
}

// A row is written as its cells up to the last that is not VT_EMPTY; an inner
// VT_EMPTY cell is an empty field (nothing between its delimiters), so that
// the cells after it keep their columns. Strings, and the text of any other
// value that has one (numbers, currency, dates, booleans, decimals, in the
// same form on every platform), are quoted; VT_NULL and values without a text
// form are empty fields.
//
// With a delimiter set of several characters the first one that the reader
// can meet goes between fields. With none (the second build's empty set, or a
// set the reader never meets between fields) the fields of a row could not be
// told apart when it is read, so a row with a filled cell after the first
// fails with E_FAIL rather than be merged into one field; setVariant refuses
// such cells by the same WriteDelimiter, so this is a safety net. A value
// holding a character that no field can hold (see FieldCharacter) fails the
// row too; setVariant refuses such values by the same rule. The failed row
// makes the whole save fail, leaving the data file as it was.
HRESULT VxASCOSPObject::FormatRow(const ROWHEADER* row, ByteBuffer& line) const {
    LONG end = row->cellCount;
    while (end > 0 && row->CellOrEmpty(end - 1).IsEmpty()) --end;
    OLECHAR delimiter = WriteDelimiter();
    if (end > 1 && !delimiter) return E_FAIL;

    qv::WideString converted;
    try {
        for (LONG i = 0; i < end; ++i) {
            if (i > 0) {
                if (!line.Reserve(1)) return E_OUTOFMEMORY;
                line.bytes[line.length++] = static_cast<char>(delimiter);
            }
            const VxCell held = row->CellOrEmpty(i);
            if (held.IsText()) {
                // A loaded field: its bytes, each quote doubled.
                const unsigned char* bytes = row->text + held.TextOffset();
                const size_t length = held.TextLength();
                if (!line.Reserve(2 * length + 2)) return E_OUTOFMEMORY;
                char* out = line.bytes + line.length;
                *out++ = kQuote;
                for (size_t k = 0; k < length; ++k) {
                    const unsigned char c = bytes[k];
                    if (!kPlainBytes.plain[c]) {
                        if (c != kQuote) return E_FAIL;  // a line feed or a Ctrl-Z, which no load makes
                        *out++ = kQuote;
                    }
                    *out++ = static_cast<char>(c);
                }
                *out++ = kQuote;
                line.length = static_cast<size_t>(out - line.bytes);
                continue;
            }
            if (held.IsEmpty()) continue;
            const VARIANT& cell = *held.Value();
            const OLECHAR* text = nullptr;
            size_t length = 0;
            if (cell.vt == VT_BSTR) {
                text = cell.bstrVal;
                length = SysStringLen(cell.bstrVal);
            } else if (qv::HasTextForm(cell.vt) && qv::VariantToText(cell, converted)) {
                text = converted.data();
                length = converted.size();
            } else {
                continue;  // VT_EMPTY, VT_NULL, or no text form: an empty field
            }
            // Room for the quotes and two bytes a character (a doubled quote);
            // a converted character makes room for itself and the rest.
            if (!line.Reserve(2 * length + 2)) return E_OUTOFMEMORY;
            char* out = line.bytes + line.length;
            *out++ = kQuote;
            for (size_t k = 0; k < length; ++k) {
                OLECHAR c = text[k];
                if (c <= 0xFF && kPlainBytes.plain[c]) {
                    *out++ = static_cast<char>(c);
                    continue;
                }
                int units = 1;
                char bytes[kMaxFieldCharacterBytes];
                const int count = FieldCharacter(text, length, k, bytes, units);
                if (count <= 0) return E_FAIL;
                if (c > 0xFF) {
                    line.length = static_cast<size_t>(out - line.bytes);
                    if (!line.Reserve(static_cast<size_t>(count) + 2 * (length - k) + 2)) return E_OUTOFMEMORY;
                    out = line.bytes + line.length;
                }
                for (int b = 0; b < count; ++b) *out++ = bytes[b];
                k += static_cast<size_t>(units - 1);
            }
            *out++ = kQuote;
            line.length = static_cast<size_t>(out - line.bytes);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (!line.Reserve(2)) return E_OUTOFMEMORY;
    line.bytes[line.length++] = '\r';
    line.bytes[line.length++] = '\n';
    return S_OK;
}

HRESULT VxASCOSPObject::WriteTable(FileSink& out, LONG* edit) {
    ByteBuffer buffer;
    HRESULT hr = S_OK;
    {
        CSingleLock lock(rows_.GetLock());
        if (edit) *edit = LoadModified();
        for (int r = 1; r < rows_.GetSize() && SUCCEEDED(hr); ++r) {
            hr = FormatRow(rows_[r], buffer);
            if (SUCCEEDED(hr) && buffer.length >= kFlushSize) {
                if (!out.Write(buffer.bytes, buffer.length)) hr = E_FAIL;
                buffer.length = 0;
            }
        }
    }
    if (SUCCEEDED(hr) && buffer.length > 0 && !out.Write(buffer.bytes, buffer.length)) hr = E_FAIL;
    return hr;
}
