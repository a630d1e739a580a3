// The text of a written row (quoting, empty cells, values of other types,
// bytes, delimiters, what cannot be written) and the seeded round trip of
// random tables through the writer and the loader.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/TextConversion.h"
#include "support/Hooks.h"
#include "support/TableProbe.h"

namespace qvtest {
namespace {

// The line of one row of column count 3 under the delimiter set.
std::string Line(const Values& values, const std::string& delimiters = ",", HRESULT* hr = nullptr) {
    TableProbe probe(delimiters, 3);
    probe.AddRow(values.list);
    return probe.Format(0, hr);
}

TEST(FormatRow, QuotingAndEmptyCells) {
    EXPECT_EQ("\"a\",\"b,c\",\"\"\r\n", Line(Values().Bytes("a").Bytes("b,c").Bytes("")));
    EXPECT_EQ("\"say \"\"hi\"\"\"\r\n", Line(Values().Bytes("say \"hi\"")));
    EXPECT_EQ("\"a\"\r\n", Line(Values().Bytes("a").Empty().Empty()));
    EXPECT_EQ("\r\n", Line(Values()));
    // An inner empty cell is an empty field: the cells after it keep their columns.
    EXPECT_EQ(",\"b\",\"c\"\r\n", Line(Values().Empty().Bytes("b").Bytes("c")));
    EXPECT_EQ("\"a\",,\"c\"\r\n", Line(Values().Bytes("a").Empty().Bytes("c")));
    // No limit to a line's length.
    const std::string field(5000, 'x');
    EXPECT_EQ("\"" + field + "\",\"y\"\r\n", Line(Values().Bytes(field).Bytes("y")));
}

TEST(FormatRow, ValuesOfOtherTypesAreWrittenAsTheirText) {
    EXPECT_EQ("\"a\",\"42\",\"c\"\r\n", Line(Values().Bytes("a").I4(42).Bytes("c")));
    EXPECT_EQ("\"-7\",\"b\"\r\n", Line(Values().I4(-7).Bytes("b")));
    EXPECT_EQ("\"3.5\"\r\n", Line(Values().R8(3.5)));
    Values boolean;
    boolean.Of(VT_BOOL).list.back().boolVal = VARIANT_TRUE;
    EXPECT_EQ("\"True\"\r\n", Line(boolean));
    // No text: an empty field with nothing between its delimiters.
    EXPECT_EQ(",\"b\"\r\n", Line(Values().Of(VT_NULL).Bytes("b")));
    EXPECT_EQ(",\"b\"\r\n", Line(Values().Of(VT_ERROR).Bytes("b")));
}

TEST(FormatRow, CharactersUpToFFAreTheirOwnByteAndOthersConverted) {
    std::string latin;
    for (int b = 1; b <= 0xFF; ++b)
        if (b != '\n' && b != 0x1A && b != '"') latin.push_back(static_cast<char>(b));
    latin.push_back('\0');
    EXPECT_EQ("\"" + latin + "\"\r\n", Line(Values().Bytes(latin)));

    // Each converted character as the narrow encoding holds it; one it cannot
    // hold (a character beyond 16 bits in code page 1252) fails the row.
    Wide text = W("\xE9");
    std::string expected = "\"\xE9";
    for (const Wide& character : {Wide{0x20AC}, W("x"), Wide{0xD83D, 0xDE00}}) {
        char narrow[16];
        int bytes =
            qv::NarrowFromWideExact(character.data(), static_cast<int>(character.size()), narrow, sizeof narrow);
        if (bytes <= 0) {
            ASSERT_NE(0x20AC, static_cast<int>(character[0])) << "UTF-8 and code page 1252 hold the euro sign";
            continue;
        }
        text += character;
        expected.append(narrow, static_cast<size_t>(bytes));
    }
    EXPECT_EQ(expected + "\"\r\n", Line(Values().Text(text)));

    // A field of euro signs (3 bytes in UTF-8, 1 in code page 1252) after a
    // few plain characters, sized so that its closing quote, or the CR or LF
    // after it, lands on the line buffer's capacity (256 bytes, then 512):
    // the bytes are right and none is written past the buffer (ASan).
    char euro[16];
    const OLECHAR euroSign = 0x20AC;
    const size_t width = static_cast<size_t>(qv::NarrowFromWideExact(&euroSign, 1, euro, sizeof euro));
    ASSERT_GT(width, 0u);
    for (size_t quote : {252, 253, 254, 255, 256, 257, 508, 509, 510, 511, 512, 513}) {
        const size_t count = (quote - 1) / width, plain = quote - 1 - count * width;
        Wide field(plain, 'p');
        field.append(count, euroSign);
        std::string bytes = "\"" + std::string(plain, 'p');
        for (size_t i = 0; i < count; ++i) bytes.append(euro, width);
        EXPECT_EQ(bytes + "\"\r\n", Line(Values().Text(field))) << "closing quote at " << quote;
    }
    // Doubled quotes take all the room a field reserves: after an empty field
    // and a delimiter, 125 of them put the LF on the capacity, which only the
    // CR LF's own room covers.
    EXPECT_EQ("\"\",\"" + std::string(250, '"') + "\"\r\n", Line(Values().Bytes("").Bytes(std::string(125, '"'))));
}

TEST(FormatRow, FirstDelimiterOfTheSetGoesBetweenFields) {
    EXPECT_EQ("\"a\";\"b\"\r\n", Line(Values().Bytes("a").Bytes("b"), ";,"));
    EXPECT_EQ("\"a\"\t\"b\"\r\n", Line(Values().Bytes("a").Bytes("b"), "\t"));
    TableProbe probe(",", 2);
    probe.SetDelimitersWide(Wide{0x20AC, ';'});  // the reader never meets U+20AC
    Values values;
    probe.AddRow(values.Bytes("a").Bytes("b").list);
    EXPECT_EQ("\"a\";\"b\"\r\n", probe.Format(0));
}

TEST(FormatRow, RowsThatCannotReadBackFail) {
    HRESULT hr = S_OK;
    Line(Values().Bytes("a\nb"), ",", &hr);
    EXPECT_EQ(E_FAIL, hr) << "a line feed would split the row";
    Line(Values().Bytes("a\x1A"
                        "b"),
         ",", &hr);
    EXPECT_EQ(E_FAIL, hr) << "a Ctrl-Z would end the file";
    // The narrow encoding must hold a character above U+00FF exactly.
    Line(Values().Text(Wide{'a', 0xD83D}), ",", &hr);
    EXPECT_EQ(E_FAIL, hr) << "a lone surrogate";
#ifdef _WIN32
    if (GetACP() == 1252) {
        Line(Values().Text(Wide{0x141}), ",", &hr);
        EXPECT_EQ(E_FAIL, hr) << "L with stroke, which code page 1252 lacks";
    }
#endif
    // Without a delimiter the fields of a row could not be told apart.
    Line(Values().Bytes("a").Bytes("b"), "", &hr);
    EXPECT_EQ(E_FAIL, hr);
    Line(Values().Empty().Bytes("b"), "", &hr);
    EXPECT_EQ(E_FAIL, hr) << "column 2 would read back as column 1";
    EXPECT_EQ("\"a,b\"\r\n", Line(Values().Bytes("a,b"), "", &hr));
    EXPECT_EQ(S_OK, hr);
}

TEST(FormatRow, AllocationFailureIsOutOfMemory) {
    AllocFailureGuard guard;
    TableProbe probe(",", 1);
    Values values;
    probe.AddRow(values.Bytes("abc").list);
    qv::SetAllocFailure(1);
    HRESULT hr = S_OK;
    probe.Format(0, &hr);
    EXPECT_EQ(E_OUTOFMEMORY, hr);
}

TEST(WriteTable, SkipsThePlaceholderAndWritesInBlocks) {
    TableProbe probe(",", 2);
    Values placeholder, row;
    probe.AddRow(placeholder.Bytes("hidden").list);
    std::string expected;
    std::string field(1000, 'f');
    row.Bytes(field).Bytes("x");
    for (int i = 0; i < 3000; ++i) {
        probe.AddRow(row.list);
        expected += "\"" + field + "\",\"x\"\r\n";
    }
    TableProbe::MemorySink sink;
    ASSERT_EQ(S_OK, probe.WriteTable(sink));
    EXPECT_EQ(expected, sink.bytes);
    EXPECT_GT(sink.writes, 1);
    EXPECT_LT(sink.writes, 10) << "blocks, not lines";

    TableProbe::MemorySink refusing;
    refusing.fail = true;
    EXPECT_EQ(E_FAIL, probe.WriteTable(refusing));
}

TEST(WriteTable, NoDataRowsIsAnEmptyFile) {
    TableProbe probe(",", 0);
    TableProbe::MemorySink sink;
    EXPECT_EQ(S_OK, probe.WriteTable(sink)) << "no rows at all";
    probe.AddRow({});
    probe.AddRow({});
    EXPECT_EQ(S_OK, probe.WriteTable(sink));
    EXPECT_EQ("\r\n", sink.bytes) << "a row of a table without columns is an empty line";
}

// A small deterministic generator (splitmix64), the same on every platform.
struct Random {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
    // A character U+0001..U+00FF other than line feed and Ctrl-Z, with
    // quotes, delimiters and CR over-represented.
    OLECHAR Char(const Wide& delimiters) {
        switch (Below(8)) {
            case 0:
                return '"';
            case 1:
                return delimiters[Below(static_cast<unsigned>(delimiters.size()))];
            case 2:
                return '\r';
            default:
                for (;;) {
                    OLECHAR c = static_cast<OLECHAR>(1 + Below(0xFF));
                    if (c != '\n' && c != 0x1A) return c;
                }
        }
    }
};

// Writes the probe's rows to file, opens it under the delimiter set and
// checks that it holds exactly the rows expected, cell for cell, through the
// table's own reads; the cells after a shorter row's last hold no value. The
// first row sets the column count.
void ExpectReadsBack(TableProbe& probe, const fs::path& file, const Wide& delimiters, const TableTexts& expected,
                     const std::string& label) {
    TableProbe::MemorySink sink;
    ASSERT_EQ(S_OK, probe.WriteTable(sink)) << label;
    WriteBytes(file, sink.bytes);
    TableRef ref;
    ASSERT_EQ(S_OK, TableProbe::Open(file.string() + "|k=" + N(delimiters.data(), delimiters.size()), &ref.table))
        << label;
    EXPECT_EQ(static_cast<LONG>(expected[0].size()), ref->ColumnCount()) << label;
    EXPECT_EQ(expected, ReadTable(ref.table)) << label;
}

TEST(RoundTrip, RandomTablesReadBackCellForCell) {
    TempFolder folder;
    Random random{20240611};
    for (int round = 0; round < 150; ++round) {
        // 1 to 5 delimiters that the data-member string can carry.
        Wide delimiters;
        unsigned count = 1 + random.Below(5);
        while (delimiters.size() < count) {
            OLECHAR c = static_cast<OLECHAR>(1 + random.Below(0xFF));
            if (c == '\n' || c == 0x1A || c == '"' || c == '|' || c == '=' || delimiters.find(c) != Wide::npos)
                continue;
            delimiters.push_back(c);
        }
        LONG columns = static_cast<LONG>(1 + random.Below(6));
        TableProbe probe(",", columns);
        probe.SetDelimitersWide(delimiters);
        int rows = 1 + static_cast<int>(random.Below(12));
        TableTexts expected;
        probe.AddRow({});  // the placeholder
        for (int r = 0; r < rows; ++r) {
            // The first row is full, so that the column count reads back; the
            // others may end early (their trailing cells stay empty).
            LONG filled = r == 0 ? columns : static_cast<LONG>(1 + random.Below(static_cast<unsigned>(columns)));
            Values values;
            std::vector<std::string> cells;
            for (LONG c = 0; c < filled; ++c) {
                Wide text;
                for (unsigned n = random.Below(10); n > 0; --n) text.push_back(random.Char(delimiters));
                values.Text(text);
                cells.push_back(N(text.data(), text.size()));
            }
            probe.AddRow(values.list);
            expected.push_back(cells);
        }
        ExpectReadsBack(probe, folder / ("r" + std::to_string(round) + ".txt"), delimiters, expected,
                        "round " + std::to_string(round));
    }
}

// The reader ends the file at a Ctrl-Z and a line at a line feed, so neither
// may stand between two fields: the writer takes the next character of the set.
TEST(RoundTrip, DelimitersThatEndTheLineOrTheFileNeverGoBetweenFields) {
    TempFolder folder;
    const Wide sets[] = {W("\x1A,"), W("\n;"), W("\x1A\n\t")};
    for (const Wide& set : sets) {
        TableProbe probe(",", 3);
        probe.SetDelimitersWide(set);
        probe.AddRow({});  // the placeholder
        Values first, second;
        probe.AddRow(first.Bytes("a").Bytes("b").Bytes("c").list);
        probe.AddRow(second.Bytes("d").Bytes("e").list);
        ExpectReadsBack(probe, folder / ("s" + std::to_string(set[0]) + ".txt"), set, {{"a", "b", "c"}, {"d", "e"}},
                        "set " + N(set.data(), set.size()));
    }
}

}  // namespace
}  // namespace qvtest
