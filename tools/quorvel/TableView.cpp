// Reading every cell of a table, and laying it out.
#include "TableView.h"

#include <algorithm>

#include "ValueFormat.h"

namespace quorvel {
namespace {

// Calls visit(row, column, cell) for every cell; the first failure ends it.
template <class Visit>
HRESULT EachCell(OLEDBSimpleProvider* table, LONG& columns, Visit visit) {
    DBROWCOUNT rowCount = 0;
    DB_LORDINAL columnCount = 0;
    HRESULT hr = table->getRowCount(&rowCount);
    if (SUCCEEDED(hr)) hr = table->getColumnCount(&columnCount);
    if (FAILED(hr)) return hr;
    columns = static_cast<LONG>(columnCount);
    for (DBROWCOUNT row = 1; row <= rowCount; ++row) {
        for (DB_LORDINAL column = 1; column <= columnCount; ++column) {
            VARIANT cell;
            VariantInit(&cell);
            hr = table->getVariant(row, column, OSPFORMAT_RAW, &cell);
            if (FAILED(hr)) return hr;
            visit(static_cast<LONG>(row), static_cast<LONG>(column), cell);
            VariantClear(&cell);
        }
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

std::string Pad(const std::string& text, size_t width, bool right) {
    size_t have = Width(text);
    std::string padding(width > have ? width - have : 0, ' ');
    return right ? padding + text : text + padding;
}

}  // namespace

HRESULT ReadTableText(OLEDBSimpleProvider* table, std::vector<std::vector<std::string>>& rows, LONG& columns) {
    rows.clear();
    HRESULT hr = EachCell(table, columns, [&](LONG, LONG column, const VARIANT& cell) {
        if (column == 1) rows.emplace_back();
        rows.back().push_back(CellToDisplay(cell));
    });
    if (SUCCEEDED(hr) && columns == 0) {
        DBROWCOUNT count = 0;
        table->getRowCount(&count);
        rows.resize(count > 0 ? static_cast<size_t>(count) : 0);
    }
    return hr;
}

HRESULT ReadTableJson(OLEDBSimpleProvider* table, nlohmann::ordered_json& rows) {
    rows = nlohmann::ordered_json::array();
    LONG columns = 0;
    HRESULT hr = EachCell(table, columns, [&](LONG, LONG column, const VARIANT& cell) {
        if (column == 1) rows.push_back(nlohmann::ordered_json::array());
        rows.back().push_back(CellToJson(cell));
    });
    // Rows of a table without columns are still rows.
    if (SUCCEEDED(hr) && columns == 0) {
        DBROWCOUNT count = 0;
        table->getRowCount(&count);
        for (DBROWCOUNT i = 0; i < count; ++i) rows.push_back(nlohmann::ordered_json::array());
    }
    return hr;
}

std::vector<std::string> FormatAligned(const std::vector<std::vector<std::string>>& rows, LONG columns) {
    if (rows.empty()) return {"(no rows)"};
    std::vector<size_t> widths(static_cast<size_t>(columns) + 1, 0);
    widths[0] = std::max<size_t>(3, std::to_string(rows.size()).size());
    for (LONG c = 1; c <= columns; ++c) widths[static_cast<size_t>(c)] = std::to_string(c).size();
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c + 1] = std::max(widths[c + 1], Width(row[c]));

    std::vector<std::string> lines;
    std::string heading = Pad("row", widths[0], true);
    for (LONG c = 1; c <= columns; ++c) heading += "  " + Pad(std::to_string(c), widths[static_cast<size_t>(c)], false);
    lines.push_back(heading);
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string line = Pad(std::to_string(r + 1), widths[0], true);
        for (size_t c = 0; c < rows[r].size(); ++c) line += "  " + Pad(rows[r][c], widths[c + 1], false);
        lines.push_back(line);
    }
    for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    return lines;
}

}  // namespace quorvel
