// Fuzzes the loader against the plain reading of ReferenceLoader.h: the first
// byte chooses how many of the next bytes make the delimiter set (0 to 5;
// bytes the data-member string cannot carry are skipped, and one more byte
// may add U+0100 and above), the rest is the file. The table opened from it
// through its data-member string must hold exactly the reference's rows,
// column count and cells, the placeholder a copy of the first row.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "support/ReferenceLoader.h"

using namespace qvtest;

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
    WriteBytes(path, bytes);
    Wide member = W(path);
    if (!delimiters.empty()) member += Wide{'|', 'k', '='} + delimiters;
    // No option means the default comma.
    ReferenceTable expected = ReferenceLoad(bytes, delimiters.empty() ? Wide{','} : delimiters);

    TableRef ref;
    QV_REQUIRE(TableProbe::Open(member, &ref.table) == S_OK);
    DBROWCOUNT rows = -1;
    DB_LORDINAL columns = 0;
    ref->getRowCount(&rows);
    ref->getColumnCount(&columns);
    QV_REQUIRE(rows == static_cast<DBROWCOUNT>(expected.rows.size()) && columns == expected.columns);
    // Each row's fields are strings and the cells after them hold no value,
    // which reads as a field "<empty>" would: a row ending in that field ends
    // before it on both sides.
    for (auto& fields : expected.rows)
        while (!fields.empty() && fields.back() == "<empty>") fields.pop_back();
    QV_REQUIRE(ReadTable(ref.table) == expected.rows);
    return 0;
}
