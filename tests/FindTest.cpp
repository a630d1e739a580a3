// find and CompareVariants: argument checks, every comparison in both
// directions and both case modes, and how pairs other than strings compare.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "support/EditProbe.h"

namespace qvtest {
namespace {

// Column 2 of these rows: "apple", "Banana", VT_EMPTY, "banana", "cherry", "".
TablePtr FruitTable() {
    return TablePtr(EditProbe::Create({"x,apple", "x,Banana", "x", "x,banana", "x,cherry", "x,"}));
}

struct Found {
    HRESULT hr;
    DBROWCOUNT row;
};
Found Find(OLEDBSimpleProvider* table, DBROWCOUNT start, DB_LORDINAL column, const VARIANT& value, int flags,
           int comp) {
    Found found{E_UNEXPECTED, -99};
    found.hr = table->find(start, column, value, static_cast<OSPFIND>(flags), static_cast<OSPCOMP>(comp), &found.row);
    return found;
}

TEST(Find, TheExamplesOfOneColumn) {
    TablePtr table(EditProbe::Create({"a", "b", "c", "b"}));
    OwnedVariant a("a"), b("b"), d("d");
    Found f = Find(table.get(), 1, 1, b.v, OSPFIND_DEFAULT, OSPCOMP_EQ);
    EXPECT_EQ(S_OK, f.hr);
    EXPECT_EQ(2, f.row);
    EXPECT_EQ(4, Find(table.get(), 3, 1, b.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(1, Find(table.get(), 4, 1, a.v, OSPFIND_UP, OSPCOMP_EQ).row);
    f = Find(table.get(), 1, 1, d.v, OSPFIND_DEFAULT, OSPCOMP_EQ);
    EXPECT_EQ(E_FAIL, f.hr);
    EXPECT_EQ(-1, f.row);
    EXPECT_EQ(2, Find(table.get(), 1, 1, b.v, OSPFIND_DEFAULT, OSPCOMP_GE).row);
    EXPECT_EQ(1, Find(table.get(), 1, 1, b.v, OSPFIND_DEFAULT, OSPCOMP_LE).row);
    // A match on the start row itself, at either end.
    EXPECT_EQ(4, Find(table.get(), 4, 1, b.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(1, Find(table.get(), 1, 1, a.v, OSPFIND_UP, OSPCOMP_EQ).row);
}

TEST(Find, EveryComparisonInBothDirectionsAndBothCaseModes) {
    TablePtr table = FruitTable();
    OwnedVariant banana("banana");
    const int kDown = OSPFIND_DEFAULT, kUp = OSPFIND_UP, kDownCase = OSPFIND_CASESENSITIVE,
              kUpCase = OSPFIND_UPCASESENSITIVE;
    struct Case {
        int start, flags, comp;
        DBROWCOUNT row;  // -1: not found
    } cases[] = {
        // clang-format off
        // Down from row 1: apple < | Banana = (< with case) | empty | banana = | cherry > | "" <
        {1, kDown, OSPCOMP_EQ, 2}, {1, kDown, OSPCOMP_NE, 1}, {1, kDown, OSPCOMP_LT, 1},
        {1, kDown, OSPCOMP_LE, 1}, {1, kDown, OSPCOMP_GE, 2}, {1, kDown, OSPCOMP_GT, 5},
        {1, kDownCase, OSPCOMP_EQ, 4}, {1, kDownCase, OSPCOMP_NE, 1}, {1, kDownCase, OSPCOMP_LT, 1},
        {1, kDownCase, OSPCOMP_LE, 1}, {1, kDownCase, OSPCOMP_GE, 4}, {1, kDownCase, OSPCOMP_GT, 5},
        // Up from row 4: banana =, empty (unequal, unordered), Banana, apple <
        {4, kUp, OSPCOMP_EQ, 4}, {4, kUp, OSPCOMP_NE, 3}, {4, kUp, OSPCOMP_LT, 1},
        {4, kUp, OSPCOMP_LE, 4}, {4, kUp, OSPCOMP_GE, 4}, {4, kUp, OSPCOMP_GT, -1},
        {4, kUpCase, OSPCOMP_EQ, 4}, {4, kUpCase, OSPCOMP_NE, 3}, {4, kUpCase, OSPCOMP_LT, 2},
        {4, kUpCase, OSPCOMP_LE, 4}, {4, kUpCase, OSPCOMP_GE, 4}, {4, kUpCase, OSPCOMP_GT, -1},
        // Up from the last row; down from the last row; up from row 1.
        {6, kUp, OSPCOMP_EQ, 4}, {6, kUp, OSPCOMP_GE, 5}, {6, kUp, OSPCOMP_GT, 5}, {6, kUp, OSPCOMP_LT, 6},
        {6, kDown, OSPCOMP_EQ, -1}, {6, kDown, OSPCOMP_NE, 6}, {6, kDownCase, OSPCOMP_LE, 6},
        {1, kUp, OSPCOMP_EQ, -1}, {1, kUp, OSPCOMP_LT, 1}, {1, kUpCase, OSPCOMP_GT, -1},
        // Down from the empty cell, which is neither less nor greater than a string.
        {3, kDown, OSPCOMP_LT, 6}, {3, kDown, OSPCOMP_GT, 5}, {3, kDown, OSPCOMP_NE, 3},
        // compType 0 and 7 are no comparison: never satisfied.
        {1, kDown, 0, -1}, {6, kUp, 0, -1}, {1, kDown, 7, -1}, {6, kUpCase, 7, -1},
        // Any 32-bit value may come: other flags search down without case, other comparisons never hold.
        {1, 4, OSPCOMP_EQ, 2}, {1, -1, OSPCOMP_EQ, 2}, {1, 0x7FFFFFFF, OSPCOMP_GT, 5},
        {1, kDown, -1, -1}, {1, kDown, 8, -1}, {6, kUp, 0x7FFFFFFF, -1},
        // clang-format on
    };
    for (const Case& c : cases) {
        Found f = Find(table.get(), c.start, 2, banana.v, c.flags, c.comp);
        EXPECT_EQ(c.row, f.row) << "start " << c.start << " flags " << c.flags << " comp " << c.comp;
        EXPECT_EQ(c.row == -1 ? E_FAIL : S_OK, f.hr)
            << "start " << c.start << " flags " << c.flags << " comp " << c.comp;
    }
}

// Row 0, the label row, is never a match, also once the hidden copy of the
// first line no longer matches row 1: after row 1 was edited, deleted or
// moved down by an insertion.
TEST(Find, AnUpwardSearchNeverReachesTheLabelRow) {
    OwnedVariant a("a"), x("x");
    for (int edit = 0; edit < 3; ++edit) {
        TablePtr table = Editable({"a", "b"});
        DBROWCOUNT count = 0;
        HRESULT hr = edit == 0   ? table->setVariant(1, 1, OSPFORMAT_RAW, x.v)
                     : edit == 1 ? table->deleteRows(1, 1, &count)
                                 : table->insertRows(1, 1, &count);
        ASSERT_EQ(S_OK, hr) << "edit " << edit;
        for (int flags : {OSPFIND_UP, OSPFIND_UPCASESENSITIVE}) {
            Found f = Find(table.get(), 1, 1, a.v, flags, OSPCOMP_EQ);
            EXPECT_EQ(-1, f.row) << "edit " << edit << " flags " << flags;
            EXPECT_EQ(E_FAIL, f.hr) << "edit " << edit << " flags " << flags;
        }
    }
}

TEST(Find, UpCaseSensitiveSearchesUpwardAndMindsCase) {
    TablePtr table(EditProbe::Create({"a", "B", "b"}));
    OwnedVariant upper("B"), lower("b");
    EXPECT_EQ(2, Find(table.get(), 3, 1, upper.v, OSPFIND_UPCASESENSITIVE, OSPCOMP_EQ).row);
    EXPECT_EQ(3, Find(table.get(), 3, 1, upper.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(3, Find(table.get(), 2, 1, lower.v, OSPFIND_CASESENSITIVE, OSPCOMP_EQ).row);
    EXPECT_EQ(2, Find(table.get(), 2, 1, lower.v, OSPFIND_CASESENSITIVE, OSPCOMP_NE).row);
    // Any other flag value searches downward, case-insensitively.
    EXPECT_EQ(2, Find(table.get(), 2, 1, lower.v, 8, OSPCOMP_EQ).row);
}

TEST(Find, AnEmptyCellIsNotAnEmptyString) {
    TablePtr table = FruitTable();
    OwnedVariant emptyString(""), empty;
    EXPECT_EQ(6, Find(table.get(), 1, 2, emptyString.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(3, Find(table.get(), 1, 2, empty.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(1, Find(table.get(), 1, 2, empty.v, OSPFIND_DEFAULT, OSPCOMP_NE).row);
    EXPECT_EQ(-1, Find(table.get(), 1, 2, empty.v, OSPFIND_DEFAULT, OSPCOMP_LE).row);
    // A null BSTR is the empty string.
    OwnedVariant null;
    null.v.vt = VT_BSTR;
    null.v.bstrVal = nullptr;
    EXPECT_EQ(6, Find(table.get(), 1, 2, null.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(1, Find(table.get(), 1, 2, null.v, OSPFIND_DEFAULT, OSPCOMP_GT).row);
    EXPECT_EQ(-1, Find(table.get(), 1, 2, null.v, OSPFIND_DEFAULT, OSPCOMP_LT).row) << "nothing sorts before it";
}

// The string search reads a loaded string's length from its cell and skips
// strings of another length; it must answer exactly as the cell-by-cell
// comparison does, for every kind of cell a table can hold: loaded strings, a
// loaded string too long for find's byte of length, strings and numbers
// stored by edits, empty cells, cells past a short row, and inserted rows.
TEST(Find, StringSearchesAnswerAsTheCellByCellComparison) {
    const std::string longText(5000, 'a');
    TablePtr table(EditProbe::Create(
        {"ab,x", "AB,", "a", "ab,b" + longText, "Ab,ab", "," + longText, "b,aB", "ab,x,y", "", "ab,A"}));
    table->SkipWriteCheck();
    OwnedVariant edited("aB"), number = OwnedVariant::I4(7);
    ASSERT_EQ(S_OK, table->setVariant(3, 2, OSPFORMAT_RAW, edited.v));  // grows a one-field row
    ASSERT_EQ(S_OK, table->setVariant(7, 1, OSPFORMAT_RAW, number.v));
    DBROWCOUNT inserted = 0;
    ASSERT_EQ(S_OK, table->insertRows(5, 1, &inserted));
    const LONG rows = table->RowCount();

    std::vector<OwnedVariant> sought;
    for (const std::string& text :
         std::vector<std::string>{"ab", "AB", "", "x", "a" + longText, "b" + longText, longText})
        sought.emplace_back(text);
    sought.emplace_back();  // a null BSTR: the empty string
    sought.back().v.vt = VT_BSTR;
    sought.back().v.bstrVal = nullptr;
    BSTR held = SysAllocString(OLESTR("aB"));
    VARIANT byReference;
    byReference.vt = VT_BSTR | VT_BYREF;
    byReference.pbstrVal = &held;

    std::vector<const VARIANT*> values;
    for (const OwnedVariant& value : sought) values.push_back(&value.v);
    values.push_back(&byReference);
    VARIANT throughVariant;  // a string behind a reference to a VARIANT takes the same walk
    throughVariant.vt = VT_VARIANT | VT_BYREF;
    throughVariant.pvarVal = &sought[1].v;
    values.push_back(&throughVariant);
    for (const VARIANT* value : values) {
        for (DB_LORDINAL column = 1; column <= 3; ++column) {
            for (int flags : {OSPFIND_DEFAULT, OSPFIND_UP, OSPFIND_CASESENSITIVE, OSPFIND_UPCASESENSITIVE}) {
                const bool up = flags == OSPFIND_UP || flags == OSPFIND_UPCASESENSITIVE;
                const bool caseSensitive = flags == OSPFIND_CASESENSITIVE || flags == OSPFIND_UPCASESENSITIVE;
                for (int comp : {OSPCOMP_EQ, OSPCOMP_NE}) {
                    for (LONG start = 1; start <= rows; ++start) {
                        DBROWCOUNT expected = -1;
                        for (LONG row = start; row >= 1 && row <= rows && expected == -1; row += up ? -1 : 1) {
                            VxASCOSPObject::VariantOrder order = EditProbe::CompareVariants(
                                table->RowCell(row, static_cast<LONG>(column) - 1).v, *value, caseSensitive);
                            bool equal = order == VxASCOSPObject::kOrderEqual || order == VxASCOSPObject::kOrderSame;
                            if (equal == (comp == OSPCOMP_EQ)) expected = row;
                        }
                        Found f = Find(table.get(), start, column, *value, flags, comp);
                        ASSERT_EQ(expected, f.row) << "column " << column << " flags " << flags << " comp " << comp
                                                   << " start " << start << " sought #" << (value - values[0]);
                        ASSERT_EQ(expected == -1 ? E_FAIL : S_OK, f.hr);
                    }
                }
            }
        }
    }
    SysFreeString(held);
}

TEST(Find, NumbersCompareByValueWithinTheirOwnType) {
    TablePtr table = Editable({"a", "b", "c", "d"});
    OwnedVariant five = OwnedVariant::I4(5), seven = OwnedVariant::I4(7), six("6");
    OwnedVariant sixReal;
    sixReal.v.vt = VT_R8;
    sixReal.v.dblVal = 6.0;
    ASSERT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, five.v));
    ASSERT_EQ(S_OK, table->setVariant(2, 1, OSPFORMAT_RAW, seven.v));
    ASSERT_EQ(S_OK, table->setVariant(3, 1, OSPFORMAT_RAW, sixReal.v));
    ASSERT_EQ(S_OK, table->setVariant(4, 1, OSPFORMAT_RAW, six.v));

    OwnedVariant sixInt = OwnedVariant::I4(6);
    EXPECT_EQ(2, Find(table.get(), 1, 1, sixInt.v, OSPFIND_DEFAULT, OSPCOMP_GT).row) << "6.0 and \"6\" are no I4";
    EXPECT_EQ(1, Find(table.get(), 1, 1, sixInt.v, OSPFIND_DEFAULT, OSPCOMP_LT).row);
    EXPECT_EQ(-1, Find(table.get(), 1, 1, sixInt.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(1, Find(table.get(), 1, 1, sixInt.v, OSPFIND_DEFAULT, OSPCOMP_NE).row);
    EXPECT_EQ(3, Find(table.get(), 1, 1, sixReal.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    EXPECT_EQ(4, Find(table.get(), 1, 1, six.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
    OwnedVariant sixShort;
    sixShort.v.vt = VT_I2;
    sixShort.v.iVal = 7;
    EXPECT_EQ(-1, Find(table.get(), 1, 1, sixShort.v, OSPFIND_DEFAULT, OSPCOMP_EQ).row) << "I2 7 is no I4 7";

    // A sought value by reference compares as the value it refers to.
    LONG referred = 7;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &referred;
    EXPECT_EQ(2, Find(table.get(), 1, 1, byRef, OSPFIND_DEFAULT, OSPCOMP_EQ).row);
}

TEST(Find, BadArgumentsLeaveTheOutRowAlone) {
    TablePtr table(EditProbe::Create({"a,b", "c,d"}));
    OwnedVariant a("a");
    struct Case {
        DBROWCOUNT start;
        DB_LORDINAL column;
    } cases[] = {{0, 1}, {-1, 1}, {3, 1}, {1, 0}, {1, -1}, {1, 3}};
    for (const Case& c : cases) {
        Found f = Find(table.get(), c.start, c.column, a.v, OSPFIND_DEFAULT, OSPCOMP_EQ);
        EXPECT_EQ(E_INVALIDARG, f.hr) << "start " << c.start << " column " << c.column;
        EXPECT_EQ(-99, f.row) << "start " << c.start << " column " << c.column;
    }
    EXPECT_EQ(E_INVALIDARG, table->find(1, 1, a.v, OSPFIND_DEFAULT, OSPCOMP_EQ, nullptr));
    if (sizeof(DBROWCOUNT) > 4) {
        EXPECT_EQ(E_INVALIDARG, Find(table.get(), static_cast<DBROWCOUNT>((1LL << 32) + 1), 1, a.v, 0, 1).hr);
    }

    TablePtr empty(EditProbe::Create({}));
    EXPECT_EQ(E_INVALIDARG, Find(empty.get(), 1, 1, a.v, OSPFIND_DEFAULT, OSPCOMP_EQ).hr) << "a table of no rows";
}

TEST(Find, ARefusedSearchLeavesTheRowArrayUnlocked) {
    TablePtr table(EditProbe::Create({"a"}));
    OwnedVariant a("a");
    ASSERT_EQ(E_INVALIDARG, Find(table.get(), 2, 1, a.v, OSPFIND_DEFAULT, OSPCOMP_EQ).hr);
    HRESULT hr = E_UNEXPECTED;
    DBROWCOUNT inserted = 0;
    std::thread other([&] { hr = table->insertRows(1, 1, &inserted); });  // hangs if the lock were still held
    other.join();
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(1, inserted);
}

// --- CompareVariants ---

typedef VxASCOSPObject::VariantOrder Order;

Order Compare(const VARIANT& a, const VARIANT& b, bool caseSensitive = false) {
    return EditProbe::CompareVariants(a, b, caseSensitive);
}

TEST(CompareVariants, StringsCompareWholeAndFoldOnlyAToZ) {
    OwnedVariant a(std::string("a\0b", 3)), c(std::string("a\0c", 3)), prefix("a"), under("_"), upperA("A"),
        eAcute("\xC9"), eAcuteLower("\xE9");
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(a.v, c.v)) << "text after a NUL counts";
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(prefix.v, a.v)) << "a prefix sorts first";
    EXPECT_EQ(VxASCOSPObject::kOrderGreater, Compare(a.v, prefix.v));
    // Folding maps A to a: "_" (0x5F) sorts before "A" without case, after it with case.
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(under.v, upperA.v, false));
    EXPECT_EQ(VxASCOSPObject::kOrderGreater, Compare(under.v, upperA.v, true));
    EXPECT_NE(VxASCOSPObject::kOrderEqual, Compare(eAcute.v, eAcuteLower.v, false)) << "only A to Z fold";

    OwnedVariant empty(""), null;
    null.v.vt = VT_BSTR;
    null.v.bstrVal = nullptr;
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(null.v, empty.v));
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(null.v, prefix.v));

    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_BSTR;
    byRef.pbstrVal = &prefix.v.bstrVal;
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(prefix.v, byRef));
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(byRef, upperA.v));
}

// Without case, each code unit against the one 0x20 above it: only A to Z
// meet their lower case ("@" and "`", "[" and "{", "\xC9" and "\xE9" stay apart).
TEST(CompareVariants, CaseFoldingJoinsExactlyTheLettersAToZ) {
    OwnedVariant upper("?"), lower("?");
    std::vector<unsigned> folded, letters;
    for (unsigned c = 'A'; c <= 'Z'; ++c) letters.push_back(c);
    for (unsigned c = 0; c + 0x20 <= 0xFFFF; ++c) {
        upper.v.bstrVal[0] = static_cast<OLECHAR>(c);
        lower.v.bstrVal[0] = static_cast<OLECHAR>(c + 0x20);
        if (Compare(upper.v, lower.v, false) == VxASCOSPObject::kOrderEqual) folded.push_back(c);
        if (Compare(upper.v, lower.v, true) != VxASCOSPObject::kOrderLess) ADD_FAILURE() << "case-sensitive " << c;
    }
    EXPECT_EQ(letters, folded);
}

TEST(CompareVariants, NumbersAreOrderedNaNIsNot) {
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = b.vt = VT_R8;
    a.dblVal = 1.5;
    b.dblVal = 2.5;
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(a, b));
    // A NaN, sought or held, is neither equal to nor ordered with any value.
    for (VARTYPE type : {VT_R4, VT_R8, VT_DATE}) {
        for (double value : {-HUGE_VAL, -1.5, 0.0, 2.0, HUGE_VAL, std::nan("")}) {
            VARIANT cell, nan;
            VariantInit(&cell);
            VariantInit(&nan);
            cell.vt = nan.vt = type;
            if (type == VT_R4) {
                cell.fltVal = static_cast<float>(value);
                nan.fltVal = std::nanf("");
            } else if (type == VT_R8) {
                cell.dblVal = value;
                nan.dblVal = std::nan("");
            } else {
                cell.date = value;
                nan.date = std::nan("");
            }
            EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(cell, nan)) << "vt " << type << " cell " << value;
            EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(nan, cell)) << "vt " << type << " cell " << value;
        }
    }
    a.vt = b.vt = VT_CY;
    a.cyVal.int64 = -5;
    b.cyVal.int64 = 3;
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(a, b)) << "currency compares by value, not by bytes";
    a.vt = b.vt = VT_UI8;
    a.ullVal = 0xFFFFFFFFFFFFFFFFull;
    b.ullVal = 1;
    EXPECT_EQ(VxASCOSPObject::kOrderGreater, Compare(a, b));
    a.vt = b.vt = VT_UI1;
    a.bVal = b.bVal = 200;
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(a, b));
}

TEST(CompareVariants, DecimalsCompareExactlyByValue) {
    auto decimal = [](ULONG low, ULONG high, BYTE scale, bool negative) {
        VARIANT v;
        VariantInit(&v);
        v.decVal.Lo32 = low;
        v.decVal.Mid32 = 0;
        v.decVal.Hi32 = high;
        v.decVal.scale = scale;
        v.decVal.sign = negative ? DECIMAL_NEG : 0;
        v.vt = VT_DECIMAL;
        return v;
    };
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(decimal(10, 0, 1, false), decimal(100, 0, 2, false))) << "1.0, 1.00";
    EXPECT_EQ(VxASCOSPObject::kOrderEqual, Compare(decimal(0, 0, 0, true), decimal(0, 0, 3, false))) << "-0, 0";
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(decimal(2, 0, 0, true), decimal(1, 0, 0, true))) << "-2, -1";
    EXPECT_EQ(VxASCOSPObject::kOrderLess, Compare(decimal(1, 0, 0, false), decimal(0xFFFFFFFF, 0xFFFFFFFF, 28, false)))
        << "1 against about 7.9";
    EXPECT_EQ(VxASCOSPObject::kOrderGreater,
              Compare(decimal(0, 0xFFFFFFFF, 0, false), decimal(0xFFFFFFFF, 0, 0, false)))
        << "the high word decides";
    EXPECT_EQ(VxASCOSPObject::kOrderGreater, Compare(decimal(1, 0, 0, true), decimal(0, 0xFFFFFFFF, 0, true)))
        << "-1 against about -7.9e28";
}

TEST(CompareVariants, OtherPairsAreOnlySameOrDifferent) {
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    EXPECT_EQ(VxASCOSPObject::kOrderSame, Compare(a, b)) << "two empty cells";
    a.vt = b.vt = VT_NULL;
    EXPECT_EQ(VxASCOSPObject::kOrderSame, Compare(a, b));
    a.vt = b.vt = VT_BOOL;
    a.boolVal = b.boolVal = VARIANT_TRUE;
    EXPECT_EQ(VxASCOSPObject::kOrderSame, Compare(a, b));
    b.boolVal = VARIANT_FALSE;
    EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(a, b));
    a.vt = VT_EMPTY;
    b.vt = VT_NULL;
    EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(a, b)) << "types differ";
    a.vt = b.vt = VT_I4 | VT_RESERVED;
    a.lVal = b.lVal = 1;
    EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(a, b)) << "reserved bit";
    a.vt = b.vt = VT_BYREF | VT_I4;
    a.plVal = b.plVal = nullptr;
    EXPECT_EQ(VxASCOSPObject::kOrderDifferent, Compare(a, b)) << "nothing behind the reference";
}

}  // namespace
}  // namespace qvtest
