// The data-member string: path and delimiter option in both builds, limits,
// and the refusal of a delimiter set that holds the double quote.
#include <gtest/gtest.h>

#include "support/TableProbe.h"

namespace qvtest {
namespace {

class DataMember : public ::testing::Test {
protected:
    // The delimiter set of the table opened with the option, or "<hr>" text.
    std::string Delimiters(const std::string& option) {
        TableRef ref;
        HRESULT hr = OpenBytes(folder_ / "t.txt", "a\n", option, ref);
        if (FAILED(hr)) return "<failed " + std::to_string(hr) + ">";
        Wide set = ref->Delimiters();
        return N(set.data(), set.size());
    }
    TempFolder folder_;
};

#if QUORVEL_SECOND_BUILD
const bool kSecond = true;
#else
const bool kSecond = false;
#endif

TEST_F(DataMember, OptionGrammarOfTheBuild) {
    const std::string refused = "<failed " + std::to_string(E_INVALIDARG) + ">";
    struct Case {
        const char* option;
        const char* main;
        const char* second;
    } cases[] = {
        {"", ",", ","},
        {"|k=;", ";", ";"},
        {"|\"k=;\"", ";", nullptr},  // second build: the value keeps the closing quote
        {"|k=;,", ";,", ";,"},
        {"|k=abcdefg", "abcde", "abcde"},
        {"|k==;=x", ";", "=;=x"},
        {"|;", ",", ","},
        {"|=;", ",", ";"},
        {"|k=", ",", ""},
        {"|k=;|other", ";", ";"},
        {"||k=;", ";", ";"},
        {"|k=\t", "\t", "\t"},
        {"|\"", ",", ","},
        {"|k=;\"", nullptr, nullptr},  // a quote in the set is refused
    };
    for (const Case& c : cases) {
        const char* expected = kSecond ? c.second : c.main;
        EXPECT_EQ(expected ? std::string(expected) : refused, Delimiters(c.option)) << "option «" << c.option << "»";
    }
}

TEST_F(DataMember, LeadingSeparatorAndPathOnly) {
    TableRef ref;
    WriteBytes(folder_ / "t.txt", "a,b\n");
    ASSERT_EQ(S_OK, TableProbe::Open("|" + (folder_ / "t.txt").string(), &ref.table));
    EXPECT_EQ(2, ref->ColumnCount());
    // The path after the separator is the file the table saves to.
    DBROWCOUNT deleted = 0;
    ASSERT_EQ(S_OK, ref->deleteRows(1, 1, &deleted));
    ref.Reset();
    EXPECT_EQ("", ReadBytes(folder_ / "t.txt"));
}

// Strings refused before any file is read (or, where the path fits, a
// missing file): none at all, nothing but separators, a path of 259 bytes
// and more, a quote anywhere in the delimiter set.
TEST_F(DataMember, StringsWithoutAUsablePathOrWithAQuoteAreRefused) {
    std::string folder = (folder_ / "").string();
    const struct {
        std::string member;
        HRESULT expected;
    } cases[] = {
        {"", E_INVALIDARG},
        {"|||", E_INVALIDARG},
        {folder + std::string(258 - folder.size(), 'p'), ASC_E_FILEACCESS},  // a path of 258 bytes fits
        {folder + std::string(259 - folder.size(), 'p'), E_INVALIDARG},
        {folder + "missing.txt|k=a\"", E_INVALIDARG},
    };
    for (const auto& c : cases) {
        TableProbe* table = nullptr;
        EXPECT_EQ(c.expected, TableProbe::Open(c.member, &table)) << c.member;
        EXPECT_EQ(nullptr, table) << c.member;
    }
    try {
        TableProbe nothing(nullptr);
        ADD_FAILURE() << "a null data-member string was accepted";
    } catch (HRESULT hr) {
        EXPECT_EQ(E_INVALIDARG, hr);
    }
}

TEST_F(DataMember, OnlyTheFirst260CharactersCount) {
    // Leading separators are skipped, so they push the option towards the cut.
    std::string path = (folder_ / "t.txt").string();
    WriteBytes(path, "a;b\n");
    std::string cutBeforeValue = std::string(260 - path.size() - 3, '|') + path + "|k=;";
    std::string cutAfterValue = std::string(260 - path.size() - 4, '|') + path + "|k=;junk";
    TableRef a, b;
    ASSERT_EQ(S_OK, TableProbe::Open(cutBeforeValue, &a.table));
    EXPECT_EQ(W(kSecond ? "" : ","), a->Delimiters()) << "the value is cut off";
    ASSERT_EQ(S_OK, TableProbe::Open(cutAfterValue, &b.table));
    EXPECT_EQ(W(";"), b->Delimiters());
}

#if QUORVEL_SECOND_BUILD
TEST_F(DataMember, SecondBuildEmptySetMakesEveryLineOneField) {
    TableRef ref;
    ASSERT_EQ(S_OK, OpenBytes(folder_ / "t.txt", "a,b;c\n\"x\",y\n", "|k=", ref));
    EXPECT_EQ(1, ref->ColumnCount());
    EXPECT_EQ((TableTexts{{"a,b;c"}, {"x,y"}}), ReadTable(ref.table));
}
#endif

}  // namespace
}  // namespace qvtest
