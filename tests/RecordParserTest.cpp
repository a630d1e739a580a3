// ParseRecord: the quoting rules under one or several delimiters, checked
// against the plain reading of ReferenceLoader.h too, and its failures.
#include <gtest/gtest.h>

#include "support/Hooks.h"
#include "support/TableProbe.h"

namespace {

using qvtest::TableProbe;
typedef std::vector<std::string> Fields;

struct ParseCase {
    const char* delimiters;
    std::string line;
    Fields fields;
};

// Parses one line into a table as wide as its field count and returns the
// fields of the row it appended.
Fields ParseLine(const std::string& delimiters, const std::string& line) {
    TableProbe table(delimiters);
    table.SetColumnCount(table.Count(line));
    HRESULT hr = table.Parse(line);
    EXPECT_EQ(S_OK, hr) << std::hex << hr;
    if (table.RowArray().GetSize() != 1) return {"<no row>"};
    return table.Cells(0);
}

const ParseCase kCases[] = {
    {",", "", {""}},
    {",", "a,,b", {"a", "", "b"}},
    {",", ",a,", {"", "a", ""}},
    {",", "\"a,b\",c", {"a,b", "c"}},
    {",", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
    {",", "ab\"c,d", {"abc,d"}},           // an unclosed quote keeps the comma
    {",", "a\"b,c\"d", {"ab,cd"}},         // quotes anywhere in a field
    {",", "\"a\" , \"b\"", {"a ", " b"}},  // blanks are kept
    {",", "\"\"", {""}},
    {",", "\"\"\"\"", {"\""}},
    {",", "12,3.5", {"12", "3.5"}},
    {";,", "a;b,c", {"a", "b", "c"}},
    {";,", "\"a\";,\"b\"", {"a", "", "b"}},
    {"\t", "a,b\tc", {"a,b", "c"}},
    {",", "a\rb,c", {"a\rb", "c"}},  // a lone CR is data
    {",",
     "\xEF\xBB\xBF"
     "a,b",
     {"\xEF\xBB\xBF"
      "a",
      "b"}},  // no byte-order mark is recognised
    {",", "\xE9\x80\xFF", {"\xE9\x80\xFF"}},
    {"abcde", "1a2e3", {"1", "2", "3"}},
    {",", "\"a\"\"", {"a\""}},  // a doubled quote at the end, quoting still on
    {",", " \" , \" ", {"  ,  "}},
};

TEST(ParseRecord, SplitsFieldsByTheQuotingRules) {
    for (const ParseCase& c : kCases)
        EXPECT_EQ(c.fields, ParseLine(c.delimiters, c.line))
            << "line [" << c.line << "] delimiters [" << c.delimiters << "]";
}

TEST(ParseRecord, AgreesWithThePlainReadingOnEveryLine) {
    for (const ParseCase& c : kCases) {
        TableProbe table(c.delimiters);
        EXPECT_EQ(static_cast<LONG>(c.fields.size()), table.Count(c.line)) << "line [" << c.line << "]";
    }
    // And on generated lines made of the characters that matter.
    const char alphabet[] = {',', ';', '"', 'x', ' ', '\t'};
    unsigned seed = 12345;
    for (int n = 0; n < 2000; ++n) {
        std::string line;
        int length = static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 12;
        for (int i = 0; i < length; ++i) line += alphabet[((seed = seed * 1103515245 + 12345) >> 16) % 6];
        for (const char* delimiters : {",", ";,", "\t"}) {
            TableProbe table(delimiters);
            LONG count = table.Count(line);
            table.SetColumnCount(count);
            ASSERT_EQ(S_OK, table.Parse(line));
            EXPECT_EQ(qvtest::ReferenceFields(line, qvtest::W(delimiters)), table.Cells(0))
                << "line [" << line << "] delimiters [" << delimiters << "]";
        }
    }
}

TEST(ParseRecord, FillsTheRowToTheColumnCountWithEmptyCells) {
    TableProbe table(",", 4);
    ASSERT_EQ(S_OK, table.Parse("a,b"));
    EXPECT_EQ((Fields{"a", "b", "<empty>", "<empty>"}), table.Cells(0));
    EXPECT_EQ(OSPRW_READWRITE, table.RowArray()[0]->status);
}

TEST(ParseRecord, KeepsNulCharactersAndLongFields) {
    TableProbe table(",", 2);
    std::string line = std::string("a\0b,", 4) + std::string(100000, 'z');
    ASSERT_EQ(S_OK, table.Parse(line));
    EXPECT_EQ(3u, SysStringLen(table.RowCell(0, 0).v.bstrVal));
    EXPECT_EQ(100000u, SysStringLen(table.RowCell(0, 1).v.bstrVal));
}

// A field is a reference into the row's own copy of the line, a quoted one
// unquoted where it lies: the caller's line is left as it was.
TEST(ParseRecord, FieldsReferToTheRowsCopyOfTheLine) {
    TableProbe table(",", 3);
    const std::string line = "ab,\"c\"\"d\",";
    ASSERT_EQ(S_OK, table.Parse(line));
    const ROWHEADER* row = table.RowArray()[0];
    const char* expected[] = {"ab", "c\"d", ""};
    for (int i = 0; i < 3; ++i) {
        const VxCell cell = row->CellOrEmpty(i);
        ASSERT_TRUE(cell.IsText()) << "field " << i;
        const char* text = reinterpret_cast<const char*>(row->text) + cell.TextOffset();
        EXPECT_EQ(expected[i], std::string(text, cell.TextLength())) << "field " << i;
    }
    EXPECT_NE(reinterpret_cast<const unsigned char*>(line.data()), row->text);
}

// Byte b becomes U+00b; a delimiter above U+00FF never matches a byte, not
// even the one its low byte names.
TEST(ParseRecord, EachByteBecomesTheCharacterOfItsValue) {
    TableProbe table(",", 2);
    table.SetDelimiters("");
    const OLECHAR wideDelimiters[] = {0x012C, 0x00E9, 0};  // U+012C ends in 0x2C, a comma
    table.SetDelimitersWide(wideDelimiters);
    std::string line;
    for (int b = 1; b < 256; ++b)
        if (b != '"' && b != 0xE9) line += static_cast<char>(b);
    ASSERT_EQ(S_OK, table.Parse(line + "\xE9"));
    const qvtest::OwnedVariant cell = table.RowCell(0, 0);
    BSTR text = cell.v.bstrVal;
    ASSERT_EQ(line.size(), SysStringLen(text));
    for (size_t i = 0; i < line.size(); ++i)
        ASSERT_EQ(static_cast<OLECHAR>(static_cast<unsigned char>(line[i])), text[i]) << i;
    EXPECT_EQ(0u, SysStringLen(table.RowCell(0, 1).v.bstrVal));
}

TEST(ParseRecord, AppendsEachRowAtTheEnd) {
    TableProbe table(",", 2);
    ASSERT_EQ(S_OK, table.Parse("1,2"));
    ASSERT_EQ(S_OK, table.Parse("3"));
    ASSERT_EQ(2, table.RowArray().GetSize());
    EXPECT_EQ((Fields{"3", "<empty>"}), table.Cells(1));
}

TEST(ParseRecord, ALineWiderThanTheRowIsRefusedNotOverrun) {
    TableProbe table(",", 2);
    EXPECT_EQ(E_FAIL, table.Parse("a,b,c"));
    EXPECT_EQ(0, table.RowArray().GetSize());
}

// Each allocation of ParseRecord, made to fail in turn until the parse goes
// through, appends nothing and gives E_OUTOFMEMORY while the scratch space and
// the row are being made (they come first) and E_FAIL once they are (a
// string, the array); the table parses the line afterwards. The leak checker of the
// sanitizer build checks that nothing stays allocated.
TEST(ParseRecord, EachAllocationFailureReportsItsResult) {
    qvtest::AllocFailureGuard guard;
    const std::string line = "alpha,\"b,c\",d";
    long nth = 1;
    HRESULT previous = E_OUTOFMEMORY;
    for (;; ++nth) {
        ASSERT_LT(nth, 100) << "the parse never went through";
        TableProbe table(",", 4);
        qv::SetAllocFailure(nth);
        qv::ResetAllocCount();
        HRESULT hr = table.Parse(line);
        qv::SetAllocFailure(0);
        if (hr == S_OK) {
            EXPECT_LT(qv::AllocCount(), nth) << "the failed allocation " << nth << " went unnoticed";
            break;
        }
        EXPECT_TRUE(hr == E_OUTOFMEMORY || hr == E_FAIL) << "allocation " << nth << ": " << std::hex << hr;
        if (nth == 1) {
            EXPECT_EQ(E_OUTOFMEMORY, hr) << "the scratch space is made first";
        }
        if (previous == E_FAIL) {
            EXPECT_EQ(E_FAIL, hr) << "allocation " << nth << " after the row was made";
        }
        previous = hr;
        EXPECT_EQ(0, table.RowArray().GetSize()) << "allocation " << nth;
        EXPECT_EQ(S_OK, table.Parse(line)) << "the table still works after failure " << nth;
        table.RemoveAllRows();
    }
    EXPECT_GT(nth, 1) << "no allocation was made to fail";
}

}  // namespace
