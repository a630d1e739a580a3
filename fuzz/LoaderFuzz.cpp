// Fuzzes the loader against the plain reading of ReferenceLoader.h: the first
// byte chooses how many of the next bytes make the delimiter set (0 to 5;
// bytes the data-member string cannot carry are skipped, and one more byte
// may add U+0100 and above), the rest is the file. The table opened from it
// through its data-member string must hold exactly the reference's rows,
// column count and cells, the placeholder a copy of the first row.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "support/ReferenceLoader.h"

namespace {

typedef std::basic_string<OLECHAR> Wide;

void Require(bool condition) {
    if (!condition) std::abort();
}

std::string CellText(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column) {
    VARIANT cell;
    VariantInit(&cell);
    Require(table->getVariant(row, column, OSPFORMAT_RAW, &cell) == S_OK);
    std::string text;
    if (cell.vt == VT_EMPTY) {
        text = "<empty>";
    } else {
        Require(cell.vt == VT_BSTR);
        for (UINT i = 0; i < SysStringLen(cell.bstrVal); ++i) {
            Require(cell.bstrVal[i] <= 0xFF);
            text += static_cast<char>(cell.bstrVal[i]);
        }
        VariantClear(&cell);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t take = data[0] % 6, used = 1;
    Wide delimiters;
    for (; used < size && delimiters.size() < take; ++used) {
        uint8_t b = data[used];
        if (b == 0 || b == '"' || b == '|' || b == '=') continue;  // not in a data-member option
        delimiters.push_back(b == 0x01 ? 0x0100 + used : b);       // 0x01 stands for a character above U+00FF
    }
    std::string bytes(reinterpret_cast<const char*>(data) + used, size - used);

    static const std::string path = qvfuzz::Scratch() + "/t.txt";
    FILE* file = std::fopen(path.c_str(), "wb");
    Require(file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fclose(file) == 0);
    Wide member;
    for (char c : path) member.push_back(static_cast<unsigned char>(c));
    if (!delimiters.empty()) member += Wide{'|', 'k', '='} + delimiters;
    // No option means the default comma.
    qvtest::ReferenceTable expected = qvtest::ReferenceLoad(bytes, delimiters.empty() ? Wide{','} : delimiters);

    VxASCOSPObject* table = nullptr;
    try {
        table = new VxASCOSPObject(member.c_str());
    } catch (HRESULT) {
        std::abort();
    }
    table->AddRef();
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    Require(rows == static_cast<DBROWCOUNT>(expected.rows.size()));
    Require(columns == expected.columns);
    for (DBROWCOUNT r = 1; r <= rows; ++r) {
        const std::vector<std::string>& fields = expected.rows[static_cast<size_t>(r - 1)];
        for (DB_LORDINAL c = 1; c <= columns; ++c)
            Require(CellText(table, r, c) == (static_cast<size_t>(c) <= fields.size() ? fields[c - 1] : "<empty>"));
    }
    table->Release();
    return 0;
}
