// Text of the tests: wide strings from narrow literals and back, and the one
// way a cell reads as text.
#pragma once

#include <string>

#include "platform/Platform.h"

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


// "<empty>" for VT_EMPTY, the bytes of a string, "<vt N>" for other types.
inline std::string CellText(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return "<empty>";
    if (cell.vt == VT_BSTR) return N(cell.bstrVal);
    return "<vt " + std::to_string(cell.vt) + ">";
}

}  // namespace qvtest
