// Text of the tests: wide strings from narrow literals and back, and the one
// reader of cells and tables as text, as the tests spell a cell or (wide) as
// the file holds it.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/VariantText.h"

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

// How a cell reads in the tests: "<empty>" for VT_EMPTY, the bytes of a
// string, the digits of a VT_I4, "<vt N>" for other types.
inline std::string CellText(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return "<empty>";
    if (cell.vt == VT_BSTR) return N(cell.bstrVal);
    if (cell.vt == VT_I4) return std::to_string(cell.lVal);
    return "<vt " + std::to_string(cell.vt) + ">";
}

// How a cell reads as the file's own text, wide: a string as it is, no value
// as nothing, any other value in the form a save writes, "<vt N>" for one
// that has none.
inline Wide FileText(const VARIANT& cell) {
    qv::WideString form;
    if (cell.vt == VT_BSTR) return Wide(cell.bstrVal, SysStringLen(cell.bstrVal));
    if (cell.vt == VT_EMPTY || cell.vt == VT_NULL) return Wide();
    return qv::VariantToText(cell, form) ? Wide(form.begin(), form.end()) : W("<vt " + std::to_string(cell.vt) + ">");
}

// A cell read through getVariant as read gives it, "<hr X>" when it cannot
// be read.
template <class Text = std::string>
Text CellText(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column, Text (*read)(const VARIANT&) = CellText) {
    VARIANT cell;
    VariantInit(&cell);
    HRESULT hr = table->getVariant(row, column, OSPFORMAT_RAW, &cell);
    const std::string failure = "<hr " + std::to_string(hr) + ">";
    Text text = hr == S_OK ? read(cell) : Text(failure.begin(), failure.end());
    VariantClear(&cell);
    return text;
}

// The data rows of a table as the table reports them, each cell as read
// gives it (CellText, or FileText), each row without the trailing cells that
// read as no value does.
typedef std::vector<std::vector<std::string>> TableTexts;
template <class Text = std::string>
std::vector<std::vector<Text>> ReadTable(OLEDBSimpleProvider* table, Text (*read)(const VARIANT&) = CellText) {
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    VARIANT none;
    VariantInit(&none);
    const Text empty = read(none);
    std::vector<std::vector<Text>> out;
    for (DBROWCOUNT r = 1; r <= rows; ++r) {
        std::vector<Text> row;
        for (DB_LORDINAL c = 1; c <= columns; ++c) row.push_back(CellText(table, r, c, read));
        while (!row.empty() && row.back() == empty) row.pop_back();
        out.push_back(row);
    }
    return out;
}

// The texts as a saved file keeps them: a file does not tell no value from an
// empty string, so both read as "", and a row ends at its last text.
inline TableTexts AsSaved(TableTexts texts) {
    for (auto& row : texts) {
        for (std::string& cell : row)
            if (cell == "<empty>") cell.clear();
        while (!row.empty() && row.back().empty()) row.pop_back();
    }
    return texts;
}

}  // namespace qvtest
