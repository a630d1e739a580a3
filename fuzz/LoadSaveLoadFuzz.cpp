// Fuzzes loading, editing, saving and loading again. The input is read as
//   byte 0      how many of the next bytes make the delimiter set (0 to 5; as
//               in LoaderFuzz.cpp: bytes the option cannot carry are skipped,
//               0x01 stands for a character above U+00FF)
//   byte        the edit: bits 0-1 mark the table changed only, write a cell's
//               own value back, or write a new string into it; bit 2 makes
//               the save's (bits 3-4 + 1)th write fail, as a full disk does
//   2 bytes     the row and the column of the cell edited
//   byte n      the new string's length, then n bytes of it (0xFF takes the
//               next two bytes as one UTF-16 unit)
//   the rest    the file
// Properties: whatever loads holds after the save what the table held, the
// edit included, when loaded again (a character above U+00FF is written in
// its narrow form, whose bytes are what read back); a save that fails leaves the file as it
// was; no temporary file is left behind; setVariant refuses a string only
// when the file could not hold it (a line feed, a Ctrl-Z, half a surrogate
// pair).
#include <algorithm>
#include <cstdint>

#include "FuzzSupport.h"

using namespace qvtest;

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t used = 0;
    uint8_t Byte() { return used < size ? data[used++] : 0; }
};

// True when a string can be written so that it reads back.
bool Writable(const Wide& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        OLECHAR c = text[i];
        if (c == 0x0A || c == 0x1A) return false;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const std::string path = qvfuzz::Scratch() + "/t.txt";
    Input in{data, size};

    size_t take = in.Byte() % 6;
    Wide delimiters;
    while (in.used < size && delimiters.size() < take) {
        uint8_t b = in.Byte();
        if (b == 0 || b == '"' || b == '|' || b == '=') continue;  // not in a data-member option
        delimiters.push_back(b == 0x01 ? 0x0100 + in.used : b);
    }
    const uint8_t edit = in.Byte();
    const uint8_t rowPick = in.Byte(), columnPick = in.Byte();
    Wide text;
    for (size_t length = in.Byte(); length > 0 && in.used < size; --length) {
        OLECHAR c = in.Byte();
        if (c == 0xFF) c = static_cast<OLECHAR>(in.Byte() << 8 | in.Byte());
        text.push_back(c);
    }
    const std::string original(reinterpret_cast<const char*>(data) + in.used, size - in.used);
    WriteBytes(path, original);

    Wide member = W(path);
    if (!delimiters.empty()) member += Wide{'|', 'k', '='} + delimiters;
    TableRef ref;
    QV_REQUIRE(TableProbe::Open(member, &ref.table) == S_OK);
    const DBROWCOUNT rows = ref->Rows();
    DB_LORDINAL columns = 0;
    ref->getColumnCount(&columns);
    std::vector<std::vector<Wide>> expected = ReadTable(ref.table, FileText);

    if (rows > 0 && (edit & 3) != 0) {
        DBROWCOUNT row = rowPick % rows + 1;
        DB_LORDINAL column = columnPick % columns + 1;
        OwnedVariant value = (edit & 3) == 1 ? OwnedVariant() : OwnedVariant(text);
        if ((edit & 3) == 1) QV_REQUIRE(ref->getVariant(row, column, OSPFORMAT_RAW, &value.v) == S_OK);
        HRESULT hr = ref->setVariant(row, column, OSPFORMAT_FORMATTED, value.v);
        QV_REQUIRE(hr == ((edit & 3) == 1 || Writable(text) ? S_OK : E_INVALIDARG));
        if (hr == S_OK && (edit & 3) != 1) {
            std::vector<Wide>& cells = expected[static_cast<size_t>(row - 1)];
            cells.resize(std::max(cells.size(), static_cast<size_t>(column)));
            cells[static_cast<size_t>(column - 1)] = qvfuzz::ReadBack(text);
            while (!cells.empty() && cells.back().empty()) cells.pop_back();
        }
    }
    DBROWCOUNT inserted = -1;
    QV_REQUIRE(ref->insertRows(1, 0, &inserted) == S_OK && inserted == 0);  // marks the table changed

    const bool failWrite = edit & 4;
    if (failWrite) qv::SetWriteFailure(((edit >> 3) & 3) + 1);
    ref.Reset();  // saves
    qv::SetWriteFailure(0);

    QV_REQUIRE(Entries(qvfuzz::Scratch()) == std::vector<std::string>{"t.txt"});
    if (failWrite && ReadBytes(path) == original) return 0;  // the save failed and kept the file
    QV_REQUIRE(TableProbe::Open(member, &ref.table) == S_OK);
    DB_LORDINAL columnsAgain = 0;
    ref->getColumnCount(&columnsAgain);
    std::vector<std::vector<Wide>> again = ReadTable(ref.table, FileText);
    if (columnsAgain != columns || again != expected) {
        qvfuzz::Dump("expected", expected);
        qvfuzz::Dump("reloaded", again);
        std::abort();
    }
    return 0;
}
