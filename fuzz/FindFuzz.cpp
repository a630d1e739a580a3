// Fuzzes find's string search against a plain cell-by-cell reading: the
// first byte gives the sought text's length (0 to 15) and the next bytes the
// text; one more byte says which rows an edit gives the sought text (so that
// some cells are loaded fields and some values of their own); the
// rest is the file, comma-delimited. Text the edit refuses (a line feed, a
// Ctrl-Z) is still sought. For every start row, both directions,
// both case modes, OSPCOMP_EQ and OSPCOMP_NE, and the text sought by value
// and by reference, find must answer the row that the reading of each cell
// through getVariant finds first, or fail with E_FAIL and -1: on the table as
// loaded, after the edit, and after a row deleted and one inserted.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

using namespace qvtest;

namespace {

OLECHAR Fold(OLECHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<OLECHAR>(c + ('a' - 'A')) : c; }

// Whether the cell holds a string equal to text: same length, same code
// units (A to Z folded onto a to z when case does not matter).
bool CellEquals(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column, const Wide& text, bool caseSensitive) {
    OwnedVariant cell;
    QV_REQUIRE(table->getVariant(row, column, OSPFORMAT_RAW, &cell.v) == S_OK);
    bool equal = cell.v.vt == VT_BSTR && SysStringLen(cell.v.bstrVal) == text.size();
    for (size_t i = 0; equal && i < text.size(); ++i)
        equal = caseSensitive ? cell.v.bstrVal[i] == text[i] : Fold(cell.v.bstrVal[i]) == Fold(text[i]);
    return equal;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = data[0] % 16, used = 1;
    Wide text;
    for (; used < size && text.size() < length; ++used) text.push_back(data[used]);
    if (used >= size) return 0;
    const uint8_t editEvery = data[used++];
    std::string bytes(reinterpret_cast<const char*>(data) + used, size - used);

    static const std::string path = qvfuzz::Scratch() + "/find.txt";
    WriteBytes(path, bytes);
    TableRef ref;
    QV_REQUIRE(TableProbe::Open(path, &ref.table) == S_OK);
    TableProbe* table = ref.table;
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);

    OwnedVariant sought(text);
    VARIANT byReference;
    byReference.vt = VT_BSTR | VT_BYREF;
    byReference.pbstrVal = &sought.v.bstrVal;

    auto findEverywhere = [&] {
        table->getRowCount(&rows);
        for (const VARIANT* value : {&sought.v, &byReference}) {
            for (DB_LORDINAL column = 1; column <= columns && column <= 3; ++column) {
                for (OSPFIND flags : {OSPFIND_DEFAULT, OSPFIND_UP, OSPFIND_CASESENSITIVE, OSPFIND_UPCASESENSITIVE}) {
                    const bool up = flags == OSPFIND_UP || flags == OSPFIND_UPCASESENSITIVE;
                    const bool caseSensitive = flags == OSPFIND_CASESENSITIVE || flags == OSPFIND_UPCASESENSITIVE;
                    for (OSPCOMP comp : {OSPCOMP_EQ, OSPCOMP_NE}) {
                        for (DBROWCOUNT start = 1; start <= rows && start <= 64; ++start) {
                            DBROWCOUNT expected = -1;
                            for (DBROWCOUNT r = start; r >= 1 && r <= rows && expected == -1; r += up ? -1 : 1)
                                if (CellEquals(table, r, column, text, caseSensitive) == (comp == OSPCOMP_EQ))
                                    expected = r;
                            DBROWCOUNT found = 0;
                            HRESULT hr = table->find(start, column, *value, flags, comp, &found);
                            QV_REQUIRE(found == expected && hr == (expected == -1 ? E_FAIL : S_OK));
                        }
                    }
                }
            }
        }
    };
    // Searched as loaded, after edits of searched columns, and after rows
    // came and went: what find learnt of a column must follow every change.
    findEverywhere();
    if (editEvery % 8) {
        for (DBROWCOUNT r = editEvery % 8; r <= rows; r += editEvery % 8 + 1)
            table->setVariant(r, 1, OSPFORMAT_RAW, sought.v);  // refused for a line feed or a Ctrl-Z: no matter
    }
    findEverywhere();
    DBROWCOUNT changed = 0;
    if (rows > 1) table->deleteRows(1 + editEvery % rows, 1, &changed);
    table->insertRows(1 + editEvery % (rows + 1), 1, &changed);
    table->setVariant(1 + editEvery % (rows + 1), 1, OSPFORMAT_RAW, sought.v);
    findEverywhere();
    return 0;
}
