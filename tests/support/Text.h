// Text of the tests: wide strings from narrow literals and back, and the one
// way a cell reads as text.
#pragma once

#include <string>
#include <vector>

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

// How a cell reads in the tests: "<empty>" for VT_EMPTY, the bytes of a
// string, the digits of a VT_I4, "<vt N>" for other types.
inline std::string CellText(const VARIANT& cell) {
    if (cell.vt == VT_EMPTY) return "<empty>";
    if (cell.vt == VT_BSTR) return N(cell.bstrVal);
    if (cell.vt == VT_I4) return std::to_string(cell.lVal);
    return "<vt " + std::to_string(cell.vt) + ">";
}

// A cell read through getVariant, "<hr X>" when it cannot be read.
inline std::string CellText(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column) {
    VARIANT cell;
    VariantInit(&cell);
    HRESULT hr = table->getVariant(row, column, OSPFORMAT_RAW, &cell);
    std::string text = hr == S_OK ? CellText(cell) : "<hr " + std::to_string(hr) + ">";
    VariantClear(&cell);
    return text;
}

// The data rows of a table as the table reports them, each without its
// trailing "<empty>" cells.
typedef std::vector<std::vector<std::string>> TableTexts;
inline TableTexts ReadTable(OLEDBSimpleProvider* table) {
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    TableTexts out;
    for (DBROWCOUNT r = 1; r <= rows; ++r) {
        std::vector<std::string> row;
        for (DB_LORDINAL c = 1; c <= columns; ++c) row.push_back(CellText(table, r, c));
        while (!row.empty() && row.back() == "<empty>") row.pop_back();
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
