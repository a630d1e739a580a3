// IUnknown and the read methods of the table: argument checks, the label row,
// cells served as copies of whatever they hold, and the locale name.
#include <gtest/gtest.h>

#include <clocale>

#include "support/Environment.h"
#include "support/Hooks.h"
#include "support/TableProbe.h"

#ifndef _WIN32
// glibc's newlocale keeps the search path that LOCPATH gives it and never
// frees it (GetLocale.EnvironmentLocaleByItsEnglishName); no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }
#endif

namespace qvtest {
namespace {

class ReadOperations : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, OpenBytes(folder_ / "t.txt", "a,b\nc\n", "", ref_)); }
    OLEDBSimpleProvider* Table() { return ref_.table; }
    TempFolder folder_;
    TableRef ref_;
};

VARIANT Seven() {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = 7;
    return v;
}

TEST_F(ReadOperations, QueryInterfaceAndReferenceCounts) {
    void* unknown = nullptr;
    void* provider = nullptr;
    ASSERT_EQ(S_OK, Table()->QueryInterface(IID_IUnknown, &unknown));
    ASSERT_EQ(S_OK, Table()->QueryInterface(IID_OLEDBSimpleProvider, &provider));
    EXPECT_EQ(unknown, provider);
    EXPECT_EQ(4u, Table()->AddRef());
    EXPECT_EQ(3u, Table()->Release());
    EXPECT_EQ(2u, static_cast<IUnknown*>(unknown)->Release());
    EXPECT_EQ(1u, static_cast<IUnknown*>(provider)->Release());

    void* other = &other;
    EXPECT_EQ(E_NOINTERFACE, Table()->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_INVALIDARG, Table()->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(2u, Table()->AddRef()) << "the failed calls took no reference";
    Table()->Release();
}

// The counts of every loaded file are checked as it loads (Loader); here
// each count and flag needs a place for its answer, and the table says it
// is asynchronous with no transfer to stop.
TEST_F(ReadOperations, CountsAndFlagsNeedAPlaceAndTheTableIsAsynchronous) {
    BOOL async = FALSE;
    EXPECT_EQ(S_OK, Table()->isAsync(&async));
    EXPECT_EQ(TRUE, async);
    EXPECT_EQ(S_OK, Table()->stopTransfer());
    EXPECT_EQ(E_INVALIDARG, Table()->getRowCount(nullptr));
    EXPECT_EQ(E_INVALIDARG, Table()->getEstimatedRows(nullptr));
    EXPECT_EQ(E_INVALIDARG, Table()->getColumnCount(nullptr));
    EXPECT_EQ(E_INVALIDARG, Table()->isAsync(nullptr));
}

TEST_F(ReadOperations, RWStatus) {
    OSPRW status = OSPRW_READONLY;
    EXPECT_EQ(S_OK, Table()->getRWStatus(-1, 99, &status));
    EXPECT_EQ(OSPRW_READWRITE, status);
    status = OSPRW_READONLY;
    EXPECT_EQ(S_OK, Table()->getRWStatus(1, -5, &status)) << "the column is not examined";
    EXPECT_EQ(OSPRW_READWRITE, status);
    struct Case {
        DBROWCOUNT row;
        bool withOut;
    } invalid[] = {{0, true}, {-2, true}, {3, true}, {1, false}, {-1, false}};
    for (const Case& c : invalid) {
        status = OSPRW_MIXED;
        EXPECT_EQ(E_INVALIDARG, Table()->getRWStatus(c.row, 1, c.withOut ? &status : nullptr)) << "row " << c.row;
        EXPECT_EQ(OSPRW_MIXED, status) << "row " << c.row;
    }
}

// The label row (row 0) has no content: reading it leaves the VARIANT as
// passed, as a refused read does.
TEST_F(ReadOperations, GetVariantArgumentsLeaveTheVariantUntouched) {
    struct Case {
        DBROWCOUNT row;
        DB_LORDINAL column;
    } cases[] = {{-1, 1}, {1, -1}, {1, 0}, {1, 3}, {3, 1}, {0, 0}, {0, 3}, {0, 2}};
    for (const Case& c : cases) {
        VARIANT v = Seven();
        const bool label = c.row == 0 && c.column >= 1 && c.column <= 2;
        EXPECT_EQ(label ? S_OK : E_INVALIDARG, Table()->getVariant(c.row, c.column, OSPFORMAT_RAW, &v))
            << "row " << c.row << " column " << c.column;
        EXPECT_EQ(VT_I4, v.vt);
        EXPECT_EQ(7, v.lVal);
    }
    EXPECT_EQ(E_INVALIDARG, Table()->getVariant(1, 1, OSPFORMAT_RAW, nullptr));
    // A VARIANT of no known type cannot be cleared to take the copy.
    VARIANT unknown = Seven();
    unknown.vt = 0x7F;
    EXPECT_EQ(DISP_E_BADVARTYPE, Table()->getVariant(1, 1, OSPFORMAT_RAW, &unknown));
    EXPECT_EQ(0x7F, unknown.vt);
    if (sizeof(DBROWCOUNT) > 4) {
        // 64-bit Windows: a number past 32 bits is out of range, not truncated to row 1.
        VARIANT v = Seven();
        long long wide = 0x100000001LL;
        EXPECT_EQ(E_INVALIDARG, Table()->getVariant(static_cast<DBROWCOUNT>(wide), 1, OSPFORMAT_RAW, &v));
    }
}

TEST_F(ReadOperations, CellsAreCopiesOfWhatTheyHold) {
    VARIANT raw, html, empty, number;
    VariantInit(&raw);
    VariantInit(&html);
    empty = Seven();
    VariantInit(&number);
    ASSERT_EQ(S_OK, Table()->getVariant(2, 1, OSPFORMAT_RAW, &raw));
    ASSERT_EQ(S_OK, Table()->getVariant(2, 1, OSPFORMAT_HTML, &html));
    ASSERT_EQ(VT_BSTR, raw.vt);
    EXPECT_EQ("c", N(raw.bstrVal));
    EXPECT_EQ(VT_BSTR, html.vt);
    EXPECT_NE(raw.bstrVal, html.bstrVal);
    ASSERT_EQ(S_OK, Table()->getVariant(2, 2, OSPFORMAT_RAW, &empty));
    EXPECT_EQ(VT_EMPTY, empty.vt);

    ref_->Store(1, 2, Seven());
    ASSERT_EQ(S_OK, Table()->getVariant(1, 2, OSPFORMAT_FORMATTED, &number));
    EXPECT_EQ(VT_I4, number.vt) << "not converted to text";
    EXPECT_EQ(7, number.lVal);
    VariantClear(&raw);
    VariantClear(&html);
    ref_.Reset();  // destruction saves the change
    EXPECT_EQ("\"a\",\"7\"\r\n\"c\"\r\n", ReadBytes(folder_ / "t.txt"));
}

TEST_F(ReadOperations, GetVariantOutOfMemory) {
    AllocFailureGuard guard;
    VARIANT v;
    VariantInit(&v);
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, Table()->getVariant(1, 1, OSPFORMAT_RAW, &v));
    EXPECT_EQ(VT_EMPTY, v.vt);
}

TEST(ReadOperationsWithoutRows, NothingReachesForRowZero) {
    TableProbe table(",", 2);  // no rows at all, not even the placeholder
    DBROWCOUNT rows = 0;
    EXPECT_EQ(S_OK, table.getRowCount(&rows));
    EXPECT_EQ(-1, rows);
    VARIANT v = Seven();
    EXPECT_EQ(E_INVALIDARG, table.getVariant(0, 1, OSPFORMAT_RAW, &v));
    EXPECT_EQ(7, v.lVal);
    OSPRW status = OSPRW_MIXED;
    EXPECT_EQ(E_INVALIDARG, table.getRWStatus(1, 1, &status));
    EXPECT_EQ(S_OK, table.getRWStatus(-1, 1, &status));
    EXPECT_EQ(OSPRW_READWRITE, status);
}

TEST(GetLocale, NameOfTheSystemLanguage) {
    TableProbe table;
    EXPECT_EQ(E_INVALIDARG, table.getLocale(nullptr));
    std::string before = std::setlocale(LC_ALL, nullptr);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, table.getLocale(&name));
    EXPECT_GT(SysStringLen(name), 0u);
#ifndef _WIN32
    EXPECT_EQ("English (United States)", N(name)) << "the test runs in the C locale";
#endif
    SysFreeString(name);
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr)) << "the process's locale is unchanged";
}

TEST(GetLocale, OutOfMemory) {
    AllocFailureGuard guard;
    TableProbe table;
    BSTR name = reinterpret_cast<BSTR>(&name);
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, table.getLocale(&name)) << "the narrow buffer";
    EXPECT_EQ(reinterpret_cast<BSTR>(&name), name);
    qv::SetAllocFailure(2);
    EXPECT_EQ(E_OUTOFMEMORY, table.getLocale(&name)) << "the BSTR";
    EXPECT_EQ(nullptr, name);
}

#ifndef _WIN32
// The English name comes from the locale the environment names; a locale
// compiled for the test shows it (skipped where localedef is missing).
TEST(GetLocale, EnvironmentLocaleByItsEnglishName) {
    TempFolder folder;
    std::string command = "localedef -i de_DE -f UTF-8 " + (folder / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef could not build de_DE";
    ScopedEnv path("LOCPATH", folder.Path().string());
    ScopedEnv all("LC_ALL", "de_DE.UTF-8");
    TableProbe table;
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, table.getLocale(&name));
    EXPECT_EQ("German (Germany)", N(name));
    SysFreeString(name);
    ScopedEnv missing("LC_ALL", "xx_YY.UTF-8");
    ASSERT_EQ(S_OK, table.getLocale(&name));
    EXPECT_EQ("English (United States)", N(name)) << "a locale the system lacks leaves the C locale";
    SysFreeString(name);
}
#endif

}  // namespace
}  // namespace qvtest
