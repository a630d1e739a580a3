// Fuzzes record parsing: the first byte chooses a delimiter set, the rest is
// one line. CountColumns must agree with the fields ParseRecord makes, and no
// line may write past its row.
#include <cstdint>
#include <cstdlib>

#include "TestSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const char* const kDelimiterSets[] = {",", ";,", "\t", " ", "abcde", ",;\t |"};
    qvtest::TableProbe table(kDelimiterSets[data[0] % 6]);
    qvtest::Wide line;
    for (size_t i = 1; i < size; ++i) line.push_back(static_cast<OLECHAR>(data[i]));
    LONG count = table.CountColumns(line.data(), line.size());
    table.SetColumnCount(count);
    if (table.ParseWide(line) != S_OK) std::abort();
    ROWHEADER* row = table.Rows()[0];
    for (LONG i = 0; i < count; ++i)
        if (row->cells[i].vt != VT_BSTR) std::abort();
    return 0;
}
