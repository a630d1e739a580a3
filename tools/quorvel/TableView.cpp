// Reading every cell of a table, and laying it out.
#include "TableView.h"

#include <algorithm>
#include <vector>

#include "ValueFormat.h"

namespace quorvel {
namespace {

// Calls visit(row, column, cell) for every cell, and rowDone(row) after the
// last cell of each row (also for a table without columns). The first
// failure ends it; so does a visitor that answers false, with S_FALSE.
template <class Visit, class RowDone>
HRESULT EachCell(OLEDBSimpleProvider* table, Visit visit, RowDone rowDone) {
    DBROWCOUNT rowCount = 0;
    DB_LORDINAL columnCount = 0;
    HRESULT hr = table->getRowCount(&rowCount);
    if (SUCCEEDED(hr)) hr = table->getColumnCount(&columnCount);
    if (FAILED(hr)) return hr;
    for (DBROWCOUNT row = 1; row <= rowCount; ++row) {
        for (DB_LORDINAL column = 1; column <= columnCount; ++column) {
            VARIANT cell;
            VariantInit(&cell);
            hr = table->getVariant(row, column, OSPFORMAT_RAW, &cell);
            if (FAILED(hr)) return hr;
            visit(static_cast<size_t>(column), cell);
            VariantClear(&cell);
        }
        if (!rowDone(static_cast<LONG>(row))) return S_FALSE;
    }
    return S_OK;
}

// Display width: UTF-8 continuation bytes take no column.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

void AppendPadded(std::string& line, const std::string& text, size_t width, bool right) {
    size_t have = Width(text);
    std::string padding(width > have ? width - have : 0, ' ');
    line += right ? padding + text : text + padding;
}

// A line ends at its last visible character.
std::string Trimmed(std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

}  // namespace

HRESULT EmitAligned(OLEDBSimpleProvider* table, const LineSink& sink) {
    DBROWCOUNT rowCount = 0;
    DB_LORDINAL columnCount = 0;
    HRESULT hr = table->getRowCount(&rowCount);
    if (SUCCEEDED(hr)) hr = table->getColumnCount(&columnCount);
    if (FAILED(hr)) return hr;
    if (rowCount <= 0) return sink("(no rows)") ? S_OK : S_FALSE;

    // widths[0] is the row numbers' column.
    std::vector<size_t> widths(static_cast<size_t>(columnCount) + 1, 0);
    widths[0] = std::max<size_t>(3, std::to_string(static_cast<LONG>(rowCount)).size());
    for (size_t c = 1; c < widths.size(); ++c) widths[c] = std::to_string(c).size();
    hr = EachCell(
        table,
        [&](size_t column, const VARIANT& cell) {
            widths[column] = std::max(widths[column], Width(CellToDisplay(cell)));
        },
        [](LONG) { return true; });
    if (FAILED(hr)) return hr;

    std::string line;
    AppendPadded(line, "row", widths[0], true);
    for (size_t c = 1; c < widths.size(); ++c) {
        line += "  ";
        AppendPadded(line, std::to_string(c), widths[c], false);
    }
    if (!sink(Trimmed(line))) return S_FALSE;
    line.clear();
    return EachCell(
        table,
        [&](size_t column, const VARIANT& cell) {
            line += "  ";
            AppendPadded(line, CellToDisplay(cell), widths[column], false);
        },
        [&](LONG row) {
            std::string number;
            AppendPadded(number, std::to_string(row), widths[0], true);
            bool more = sink(Trimmed(number + line));
            line.clear();
            return more;
        });
}

HRESULT EmitJsonRows(OLEDBSimpleProvider* table, const RowSink& sink) {
    nlohmann::ordered_json row = nlohmann::ordered_json::array();
    return EachCell(
        table, [&](size_t, const VARIANT& cell) { row.push_back(CellToJson(cell)); },
        [&](LONG) {
            bool more = sink(row);
            row = nlohmann::ordered_json::array();
            return more;
        });
}

}  // namespace quorvel
