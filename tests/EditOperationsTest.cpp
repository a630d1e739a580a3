// setVariant, insertRows and deleteRows: argument checks, what each stores, the
// exact notifications of their edge cases, the modified and write-checked
// flags, and allocation failures.
#include <gtest/gtest.h>

#include <cmath>

#include "support/EditProbe.h"
#include "support/Hooks.h"
#include "support/RecordingListener.h"

namespace qvtest {
namespace {

const LONG kMaxRow = 0x7FFFFFFF;
const LONG kMinRow = -0x7FFFFFFF - 1;

// A table of three rows a1,b1,c1 / a2,b2,c2 / a3,b3,c3 with one strict listener.
class EditTest : public ::testing::Test {
protected:
    void SetUp() override {
        table_.reset(EditProbe::Create({"a1,b1,c1", "a2,b2,c2", "a3,b3,c3"}));
        table_->SkipWriteCheck();
        ASSERT_EQ(S_OK, table_->addOLEDBSimpleProviderListener(&listener_)) << "listener not registered";
    }
    void TearDown() override {
        script_.Verify();
        ASSERT_EQ(S_OK, table_->removeOLEDBSimpleProviderListener(&listener_)) << "listener not withdrawn";
        EXPECT_EQ(1, listener_.Refs()) << "the table kept a reference on the listener";
    }
    OLEDBSimpleProvider* Osp() { return table_.get(); }

    CallScript script_;
    RecordingListener listener_{"L", script_};
    TablePtr table_;
    AllocFailureGuard allocGuard_;
};

// --- setVariant ---

TEST_F(EditTest, SetVariantRefusesRowsAndColumnsOutsideTheTableAndTellsNobody) {
    OwnedVariant value("x");
    struct Case {
        LONGLONG row, column;
    } cases[] = {{0, 1}, {-1, 1}, {4, 1}, {1, 0}, {1, -1}, {1, 4}, {kMinRow, 1}, {1, kMaxRow}};
    for (const Case& c : cases) {
        EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(static_cast<DBROWCOUNT>(c.row), static_cast<DB_LORDINAL>(c.column),
                                                  OSPFORMAT_RAW, value.v))
            << "row " << c.row << " column " << c.column;
    }
    if (sizeof(DBROWCOUNT) > 4) {
        // A 64-bit row that would truncate to row 1 is out of range, not row 1.
        LONGLONG wide = (1LL << 32) + 1;
        EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(static_cast<DBROWCOUNT>(wide), 1, OSPFORMAT_RAW, value.v));
        EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, static_cast<DB_LORDINAL>(wide), OSPFORMAT_RAW, value.v));
    }
    EXPECT_EQ("a1", table_->Text(1, 1));
    EXPECT_FALSE(table_->Modified());
}

TEST_F(EditTest, SetVariantStoresACopyAndTellsBeforeAndAfter) {
    OwnedVariant value("new");
    // A listener reading the table from inside its notifications sees the old
    // value before and the new one after.
    listener_.Expect(Call::AboutToChangeCell, 2, 3, S_OK, [&] { EXPECT_EQ("c2", table_->Text(2, 3)); });
    listener_.Expect(Call::CellChanged, 2, 3, S_OK, [&] { EXPECT_EQ("new", table_->Text(2, 3)); });
    ASSERT_EQ(S_OK, Osp()->setVariant(2, 3, OSPFORMAT_HTML, value.v)) << "setVariant(2, 3)";
    EXPECT_TRUE(table_->Modified());
    EXPECT_EQ("new", table_->Text(2, 3));
    EXPECT_NE(value.v.bstrVal, table_->Entry(2)->cells[2].Value()->bstrVal) << "the cell shares the caller's string";
}

// Numbers keep their type; a by-reference value is stored as the value it
// refers to, so that a later change of the caller's variable (or its end)
// never reaches the cell.
TEST_F(EditTest, SetVariantKeepsTypesAndStoresByReferenceValuesAsTheirValue) {
    LONG referred = 7;
    OwnedVariant number = OwnedVariant::I4(42), text(std::string("a\0b\rc", 5)), null, empty, farthestDate;
    null.v.vt = VT_NULL;
    farthestDate.v.vt = VT_DATE;
    farthestDate.v.date = -1e7;  // the earliest date that still has a text
    OwnedVariant decimal;        // -12.5: its scale and sign lie where other values have reserved words
    decimal.v.decVal.scale = 1;
    decimal.v.decVal.sign = DECIMAL_NEG;
    decimal.v.decVal.Lo64 = 125;
    decimal.v.vt = VT_DECIMAL;
    VARIANT numberRef, textRef, variantRef;
    VariantInit(&numberRef);
    numberRef.vt = VT_BYREF | VT_I4;
    numberRef.plVal = &referred;
    VariantInit(&textRef);
    textRef.vt = VT_BYREF | VT_BSTR;
    textRef.pbstrVal = &text.v.bstrVal;
    VariantInit(&variantRef);
    variantRef.vt = VT_BYREF | VT_VARIANT;
    variantRef.pvarVal = &number.v;
    struct Case {
        LONG row, column;
        const VARIANT* value;
        VARTYPE type;
        std::string text;
    } cases[] = {{1, 1, &number.v, VT_I4, "42"},
                 {1, 2, &numberRef, VT_I4, "7"},
                 {1, 3, &textRef, VT_BSTR, std::string("a\0b\rc", 5)},
                 {2, 1, &variantRef, VT_I4, "42"},
                 {2, 2, &null.v, VT_NULL, "<vt 1>"},
                 {2, 3, &text.v, VT_BSTR, std::string("a\0b\rc", 5)},
                 {3, 2, &farthestDate.v, VT_DATE, "<vt 7>"},
                 {3, 1, &empty.v, VT_EMPTY, "<empty>"},
                 {3, 3, &decimal.v, VT_DECIMAL, "<vt 14>"}};
    for (const Case& c : cases) {
        listener_.Expect(Call::AboutToChangeCell, c.row, c.column).Expect(Call::CellChanged, c.row, c.column);
        EXPECT_EQ(S_OK, Osp()->setVariant(c.row, c.column, OSPFORMAT_RAW, *c.value)) << "vt " << c.value->vt;
        EXPECT_EQ(c.type, table_->Type(c.row, c.column)) << "vt " << c.value->vt;
        EXPECT_EQ(c.text, table_->Text(c.row, c.column)) << "vt " << c.value->vt;
    }
    referred = 8;
    EXPECT_EQ(7, table_->Entry(1)->cells[1].Value()->lVal) << "the cell follows the caller's variable";
    EXPECT_NE(text.v.bstrVal, table_->Entry(1)->cells[2].Value()->bstrVal) << "the cell shares the caller's string";
    OwnedVariant read;
    ASSERT_EQ(S_OK, Osp()->getVariant(3, 3, OSPFORMAT_RAW, &read.v));
    for (const DECIMAL& kept : {table_->Entry(3)->cells[2].Value()->decVal, read.v.decVal}) {
        EXPECT_EQ(1, kept.scale);
        EXPECT_EQ(DECIMAL_NEG, kept.sign);
        EXPECT_EQ(125u, kept.Lo64);
    }
}

TEST_F(EditTest, SetVariantRefusesValuesNoFileCouldHoldAndChangesNothing) {
    std::vector<OwnedVariant> refused;
    refused.emplace_back("line\nfeed");
    refused.emplace_back(std::string("hidden\0after NUL\x1A", 17));  // Ctrl-Z past the first NUL still counts
    refused.emplace_back("\x1A");
    OwnedVariant unknown;
    unknown.v.vt = VT_UNKNOWN;
    unknown.v.punkVal = &listener_;  // an object: no text form
    listener_.AddRef();
    refused.push_back(std::move(unknown));
    OwnedVariant error;
    error.v.vt = VT_ERROR;
    error.v.scode = E_FAIL;
    refused.push_back(std::move(error));
    // Values of types with a text form that have none themselves: dates past
    // ten million days or not finite, a decimal scaled beyond 28 digits.
    for (double date : {1e8, -1e8, std::nan(""), HUGE_VAL}) {
        OwnedVariant value;
        value.v.vt = VT_DATE;
        value.v.date = date;
        refused.push_back(std::move(value));
    }
    OwnedVariant decimal;
    decimal.v.decVal.scale = 29;
    decimal.v.decVal.Lo32 = 1;
    decimal.v.vt = VT_DECIMAL;  // after decVal, whose first field shares the type's place
    refused.push_back(std::move(decimal));
    for (const OwnedVariant& value : refused)
        EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, value.v)) << "vt " << value.v.vt;

    // Arrays, records and by-reference forms with nothing behind them.
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_ARRAY | VT_I4;
    EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, raw)) << "array";
    raw.vt = VT_RECORD;
    EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, raw)) << "record";
    raw.vt = VT_BYREF | VT_I4;
    raw.plVal = nullptr;
    EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, raw)) << "null reference";
    DATE farDate = 1e8;
    raw.vt = VT_BYREF | VT_DATE;
    raw.pdate = &farDate;
    EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, raw)) << "date without text by reference";
    BSTR feed = SysAllocString(OLESTR("a\nb"));
    raw.vt = VT_BYREF | VT_BSTR;
    raw.pbstrVal = &feed;
    EXPECT_EQ(E_INVALIDARG, Osp()->setVariant(1, 1, OSPFORMAT_RAW, raw)) << "line feed by reference";
    SysFreeString(feed);

    EXPECT_EQ("a1", table_->Text(1, 1));
    EXPECT_FALSE(table_->Modified());
    EXPECT_EQ(3, listener_.Refs()) << "the refused object was kept or released";
}

// Characters above U+00FF are saved through the narrow encoding, which must
// hold them exactly: UTF-8 on Linux holds every character, while on Windows a
// character the ANSI code page lacks would be saved as '?' or a look-alike, so
// it is refused like a line feed. A surrogate without its other half has no
// form in either.
TEST_F(EditTest, SetVariantTakesOnlyTextTheNarrowEncodingHoldsExactly) {
#ifdef _WIN32
    if (GetACP() != 1252) GTEST_SKIP() << "the cases are those of code page 1252";
    const bool beyond1252 = false;
#else
    const bool beyond1252 = true;
#endif
    struct Case {
        Wide text;
        bool taken;
        const char* what;
    } cases[] = {
        {Wide{'a', 0x20AC}, true, "euro sign, 0x80 in code page 1252"},
        {Wide{0xE9, 0x153, 0x2122}, true, "e acute, oe, trade mark"},
        {Wide{0x141, 'x'}, beyond1252, "L with stroke, whose look-alike is L"},
        {Wide{'a', 0x442}, beyond1252, "Cyrillic te"},
        {Wide{0xD83D, 0xDE00}, beyond1252, "a character beyond 16 bits"},
        {Wide{'a', 0xD83D}, false, "a lone high surrogate"},
        {Wide{0xDE00, 'a'}, false, "a lone low surrogate"},
    };
    for (const Case& c : cases) {
        OwnedVariant value;
        value.v.vt = VT_BSTR;
        value.v.bstrVal = SysAllocStringLen(c.text.data(), static_cast<UINT>(c.text.size()));
        if (c.taken) listener_.Expect(Call::AboutToChangeCell, 2, 1).Expect(Call::CellChanged, 2, 1);
        EXPECT_EQ(c.taken ? S_OK : E_INVALIDARG, Osp()->setVariant(2, 1, OSPFORMAT_RAW, value.v)) << c.what;
        const OwnedVariant held = table_->RowCell(2, 0);
        const VARIANT& cell = held.v;
        Wide stored(cell.bstrVal, SysStringLen(cell.bstrVal));
        if (c.taken) {
            EXPECT_EQ(c.text, stored) << c.what;
        } else {
            EXPECT_NE(c.text, stored) << c.what << ": stored all the same";
        }
    }
}

TEST(EditWithoutDelimiters, OnlyColumnOneCanBeWrittenWhenTheWriterHasNoDelimiter) {
    // Sets from which the writer can put no character between fields: empty,
    // or only characters that the reader never meets between fields (above
    // U+00FF) or that end its line or file. An empty file still has 100
    // columns, but a line of the file can only ever hold one field.
    const Wide sets[] = {W(""), W("\x1A"), W("\n"), W("\n\x1A"), Wide{0x20AC}, Wide{0x20AC, 0x1A}};
    for (const Wide& set : sets) {
        TablePtr table(EditProbe::Create({}));
        table->SetDelimitersWide(set);
        table->SkipWriteCheck();
        DBROWCOUNT inserted = 0;
        ASSERT_EQ(S_OK, table->insertRows(1, 1, &inserted));
        OwnedVariant value("x");
        EXPECT_EQ(E_INVALIDARG, table->setVariant(1, 2, OSPFORMAT_RAW, value.v)) << "set of " << set.size();
        EXPECT_EQ(VT_EMPTY, table->Type(1, 2));
        EXPECT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, value.v)) << "set of " << set.size();
        EXPECT_EQ("x", table->Text(1, 1));
    }
}

TEST_F(EditTest, AFailingListenerStopsTheWalkButNeverTheEdit) {
    RecordingListener second("M", script_);
    ASSERT_EQ(S_OK, table_->addOLEDBSimpleProviderListener(&second));
    OwnedVariant value("changed");
    listener_.Expect(Call::AboutToChangeCell, 3, 1, E_FAIL);  // M does not hear this one
    listener_.Expect(Call::CellChanged, 3, 1, S_OK, [&] { EXPECT_EQ("changed", table_->Text(3, 1)); });
    second.Expect(Call::CellChanged, 3, 1);
    EXPECT_EQ(S_OK, Osp()->setVariant(3, 1, OSPFORMAT_RAW, value.v)) << "a listener's failure reached the client";
    EXPECT_EQ("changed", table_->Text(3, 1));
    ASSERT_EQ(S_OK, table_->removeOLEDBSimpleProviderListener(&second));
}

TEST_F(EditTest, SetVariantThatCannotCopyItsStringChangesNothing) {
    OwnedVariant value("needs a copy");
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, Osp()->setVariant(1, 1, OSPFORMAT_RAW, value.v));
    qv::SetAllocFailure(0);
    EXPECT_EQ("a1", table_->Text(1, 1));
    EXPECT_FALSE(table_->Modified());
}

// A row holds the cells up to its last field: the columns past them read as
// VT_EMPTY (getVariant, find), a write there grows the row, and a row that
// cannot grow keeps its cells and tells nobody that the cell changed.
TEST(EditSparseRows, ColumnsPastARowsFieldsReadEmptyAndGrowTheRowWhenWritten) {
    TablePtr table = Editable({"a", "b,c,d"});
    ASSERT_EQ(1, table->Entry(1)->cellCount) << "the short row holds its own field only";
    OwnedVariant cell("left over");
    ASSERT_EQ(S_OK, table->getVariant(1, 3, OSPFORMAT_RAW, &cell.v));
    EXPECT_EQ(VT_EMPTY, cell.v.vt);
    OwnedVariant empty;
    DBROWCOUNT found = 0;
    ASSERT_EQ(S_OK, table->find(2, 3, empty.v, OSPFIND_UP, OSPCOMP_NE, &found));
    EXPECT_EQ(2, found);
    ASSERT_EQ(S_OK, table->find(1, 3, empty.v, OSPFIND_DEFAULT, OSPCOMP_EQ, &found));
    EXPECT_EQ(1, found) << "the missing cell is equal to VT_EMPTY";

    CallScript script;
    RecordingListener listener("L", script);
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
    OwnedVariant value("x");
    AllocFailureGuard guard;
    listener.Expect(Call::AboutToChangeCell, 1, 3);
    qv::SetAllocFailure(2);  // the first is the copy of the value, the second the grown cells
    EXPECT_EQ(E_OUTOFMEMORY, table->setVariant(1, 3, OSPFORMAT_RAW, value.v));
    qv::SetAllocFailure(0);
    EXPECT_EQ(1, table->Entry(1)->cellCount);
    EXPECT_FALSE(table->Modified());
    script.Verify();

    listener.Expect(Call::AboutToChangeCell, 1, 3).Expect(Call::CellChanged, 1, 3);
    ASSERT_EQ(S_OK, table->setVariant(1, 3, OSPFORMAT_RAW, value.v));
    script.Verify();
    EXPECT_EQ(3, table->Entry(1)->cellCount);
    EXPECT_EQ("a", table->Text(1, 1));
    EXPECT_EQ("<empty>", table->Text(1, 2));
    EXPECT_EQ("x", table->Text(1, 3));

    // An inserted row grows the same way from no cells at all.
    DBROWCOUNT made = 0;
    listener.Expect(Call::AboutToInsertRows, 3, 1).Expect(Call::InsertedRows, 3, 1);
    ASSERT_EQ(S_OK, table->insertRows(3, 1, &made));
    EXPECT_EQ(0, table->Entry(3)->cellCount);
    listener.Expect(Call::AboutToChangeCell, 3, 2).Expect(Call::CellChanged, 3, 2);
    ASSERT_EQ(S_OK, table->setVariant(3, 2, OSPFORMAT_RAW, value.v));
    script.Verify();
    EXPECT_EQ(2, table->Entry(3)->cellCount);
    EXPECT_EQ("<empty>", table->Text(3, 1));
    EXPECT_EQ("x", table->Text(3, 2));
    ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&listener));
}

// The one-time test that the file can be opened for update.
TEST(EditWriteCheck, AReadOnlyFileFailsTheFirstEditOnlyAndThatEditChangesNothing) {
    TempFile file("a,b\n");
    TablePtr table(EditProbe::Create({"a,b"}));
    table->SetFile(file.Path());
    CallScript script;
    RecordingListener listener("L", script);
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
    file.MakeReadOnly();

    OwnedVariant value("x");
    EXPECT_EQ(E_FAIL, table->setVariant(1, 1, OSPFORMAT_RAW, value.v)) << "first edit of a read-only file";
    EXPECT_TRUE(table->WriteChecked());
    EXPECT_EQ("a", table->Text(1, 1));
    EXPECT_FALSE(table->Modified());

    // The file is not tested again: the same call now goes through.
    listener.Expect(Call::AboutToChangeCell, 1, 1).Expect(Call::CellChanged, 1, 1);
    EXPECT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, value.v)) << "second edit";
    EXPECT_EQ("x", table->Text(1, 1));
    script.Verify();
    table->SetModified(false);  // nothing for the destructor to save into the read-only file
    ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&listener));
}

TEST(EditWriteCheck, AWritableFileIsTestedOnceAndArgumentErrorsDoNotUseTheTest) {
    TempFile file("a,b\n");
    TablePtr table(EditProbe::Create({"a,b"}));
    table->SetFile(file.Path());
    OwnedVariant value("x");
    EXPECT_EQ(E_INVALIDARG, table->setVariant(2, 1, OSPFORMAT_RAW, value.v));
    EXPECT_FALSE(table->WriteChecked()) << "a refused call used up the file test";
    EXPECT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, value.v));
    EXPECT_TRUE(table->WriteChecked());
    // Made read-only later, the file is not tested again.
    file.MakeReadOnly();
    EXPECT_EQ(S_OK, table->setVariant(1, 2, OSPFORMAT_RAW, value.v));
    table->SetModified(false);
}

// --- insertRows ---

TEST_F(EditTest, InsertRowsRefusesBadArgumentsAndTellsNobody) {
    DBROWCOUNT out = 99;
    EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(0, 1, &out)) << "row 0";
    EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(-1, 1, &out)) << "row -1";
    EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(1, -1, &out)) << "negative count";
    EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(1, 1, nullptr)) << "null out";
    if (sizeof(DBROWCOUNT) > 4) {
        EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(1, static_cast<DBROWCOUNT>((1LL << 32) + 1), &out)) << "64-bit count";
        EXPECT_EQ(E_INVALIDARG, Osp()->insertRows(static_cast<DBROWCOUNT>(1LL << 32), 1, &out)) << "64-bit row";
    }
    EXPECT_EQ(99, out) << "out number written by a refused call";
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_FALSE(table_->Modified());
}

TEST_F(EditTest, InsertRowsPastTheEndAppends) {
    listener_.Expect(Call::AboutToInsertRows, 4, 2, S_OK, [&] { EXPECT_EQ(3, table_->RowCount()); });
    listener_.Expect(Call::InsertedRows, 4, 2, S_OK, [&] { EXPECT_EQ(5, table_->RowCount()); });
    DBROWCOUNT out = -1;
    ASSERT_EQ(S_OK, Osp()->insertRows(3 + 5, 2, &out));
    EXPECT_EQ(2, out);
    ASSERT_EQ(5, table_->RowCount());
    for (LONG row = 4; row <= 5; ++row)
        for (LONG column = 1; column <= 3; ++column) EXPECT_EQ(VT_EMPTY, table_->Type(row, column));
    EXPECT_EQ("a3", table_->Text(3, 1));
    EXPECT_TRUE(table_->Modified());
}

TEST_F(EditTest, InsertRowsAtTheFrontShiftsTheRowsAndLeavesThePlaceholder) {
    ROWHEADER* placeholder = table_->Entry(0);
    listener_.Expect(Call::AboutToInsertRows, 1, 3).Expect(Call::InsertedRows, 1, 3);
    DBROWCOUNT out = 0;
    ASSERT_EQ(S_OK, Osp()->insertRows(1, 3, &out));
    EXPECT_EQ(3, out);
    EXPECT_EQ((std::vector<std::string>{"<empty>", "<empty>", "<empty>", "a1", "a2", "a3"}), table_->ColumnTexts(1));
    EXPECT_EQ(placeholder, table_->Entry(0));
    EXPECT_EQ("a1", table_->Text(0, 1));
}

TEST_F(EditTest, InsertingNoRowsSucceedsTellsBothEventsAndMarksTheTable) {
    listener_.Expect(Call::AboutToInsertRows, 2, 0).Expect(Call::InsertedRows, 2, 0);
    DBROWCOUNT out = 5;
    EXPECT_EQ(S_OK, Osp()->insertRows(2, 0, &out));
    EXPECT_EQ(0, out);
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_TRUE(table_->Modified());
}

TEST_F(EditTest, InsertRowsBeyondTheRowRangeFailsWithoutWrappingOrInserting) {
    // 3 + 0x7FFFFFFF rows cannot be numbered: nothing is made, nothing left open.
    listener_.Expect(Call::AboutToInsertRows, 2, kMaxRow).Expect(Call::InsertedRows, 2, 0);
    DBROWCOUNT out = 5;
    EXPECT_EQ(E_FAIL, Osp()->insertRows(2, kMaxRow, &out));
    EXPECT_EQ(0, out);
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_TRUE(table_->EveryEntryHoldsARow());
    // The largest row number appends, without wrapping round to a negative row.
    listener_.Expect(Call::AboutToInsertRows, 4, 1).Expect(Call::InsertedRows, 4, 1);
    EXPECT_EQ(S_OK, Osp()->insertRows(kMaxRow, 1, &out));
    EXPECT_EQ(4, table_->RowCount());
}

TEST_F(EditTest, InsertRowsThatCannotGrowTheArrayFailsWithNoRowMade) {
    // The row array has room for 500 entries; 600 more must move it.
    listener_.Expect(Call::AboutToInsertRows, 1, 600).Expect(Call::InsertedRows, 1, 0);
    qv::SetAllocFailure(1);
    DBROWCOUNT out = 5;
    EXPECT_EQ(E_FAIL, Osp()->insertRows(1, 600, &out));
    qv::SetAllocFailure(0);
    EXPECT_EQ(0, out);
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_EQ("a1", table_->Text(1, 1));
    EXPECT_TRUE(table_->Modified());
}

TEST(EditAllocation, ARowThatCannotBeMadeClosesTheEntriesLeftOpen) {
    // An inserted row is its record alone, however wide the table: failing
    // the nth allocation leaves n - 1 rows made, and no empty entry behind them.
    for (long nth = 1; nth <= 6; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
        AllocFailureGuard guard;
        TablePtr table(EditProbe::Create({"a" + std::string(999, ','), "b", "c"}));
        CallScript script;
        RecordingListener listener("L", script);
        ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
        LONG made = nth <= 5 ? static_cast<LONG>(nth - 1) : 5;
        listener.Expect(Call::AboutToInsertRows, 2, 5).Expect(Call::InsertedRows, 2, made);
        qv::SetAllocFailure(nth);
        DBROWCOUNT out = -1;
        HRESULT hr = table->insertRows(2, 5, &out);
        qv::SetAllocFailure(0);
        EXPECT_EQ(made == 5 ? S_OK : E_OUTOFMEMORY, hr);
        EXPECT_EQ(made, out);
        EXPECT_EQ(3 + made, table->RowCount());
        EXPECT_TRUE(table->EveryEntryHoldsARow());
        for (LONG row = 2; row < 2 + made; ++row) EXPECT_EQ(0, table->Entry(row)->cellCount) << "row " << row;
        EXPECT_EQ("a", table->Text(1, 1));
        EXPECT_EQ("b", table->Text(2 + made, 1));
        EXPECT_TRUE(table->Modified());
        script.Verify();
        ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&listener));
    }
}

// --- deleteRows ---

TEST_F(EditTest, DeleteRowsRefusesBadArgumentsAndTellsNobody) {
    DBROWCOUNT out = 99;
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(-2, 1, &out)) << "row -2";
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(0, 1, &out)) << "row 0";
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(4, 1, &out)) << "row after the last";
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(1, -1, &out)) << "negative count";
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(-1, -1, &out)) << "negative count with -1";
    EXPECT_EQ(E_INVALIDARG, Osp()->deleteRows(1, 1, nullptr)) << "null out";
    EXPECT_EQ(99, out);
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_FALSE(table_->Modified());
}

TEST_F(EditTest, DeleteRowsStopsAtTheLastRow) {
    listener_.Expect(Call::AboutToDeleteRows, 2, 10, S_OK, [&] { EXPECT_EQ(3, table_->RowCount()); });
    listener_.Expect(Call::DeletedRows, 2, 2, S_OK, [&] { EXPECT_EQ(1, table_->RowCount()); });
    DBROWCOUNT out = 0;
    EXPECT_EQ(S_OK, Osp()->deleteRows(2, 10, &out));
    EXPECT_EQ(2, out);
    EXPECT_EQ((std::vector<std::string>{"a1"}), table_->ColumnTexts(1));
    EXPECT_TRUE(table_->Modified());
}

TEST_F(EditTest, DeleteRowsInTheMiddleMovesTheLaterRowsDown) {
    listener_.Expect(Call::AboutToDeleteRows, 2, 1).Expect(Call::DeletedRows, 2, 1);
    DBROWCOUNT out = 0;
    EXPECT_EQ(S_OK, Osp()->deleteRows(2, 1, &out));
    EXPECT_EQ(1, out);
    EXPECT_EQ((std::vector<std::string>{"a1", "a3"}), table_->ColumnTexts(1));
}

TEST_F(EditTest, DeleteRowsWithARangeBeyondTheRowRangeClampsWithoutWrapping) {
    listener_.Expect(Call::AboutToDeleteRows, 2, kMaxRow).Expect(Call::DeletedRows, 2, 2);
    DBROWCOUNT out = 0;
    EXPECT_EQ(S_OK, Osp()->deleteRows(2, kMaxRow, &out));
    EXPECT_EQ(2, out);
    EXPECT_EQ(1, table_->RowCount());
    if (sizeof(DBROWCOUNT) > 4) {
        // A 64-bit count is just a long range: it is announced as asked.
        const LONGLONG huge = 1LL << 40;
        listener_.Expect(Call::AboutToDeleteRows, 1, huge).Expect(Call::DeletedRows, 1, 1);
        EXPECT_EQ(S_OK, Osp()->deleteRows(1, static_cast<DBROWCOUNT>(huge), &out));
        EXPECT_EQ(1, out);
        EXPECT_EQ(0, table_->RowCount());
    }
}

TEST_F(EditTest, DeleteAllRowsKeepsThePlaceholderAndLeavesTheModifiedFlag) {
    ROWHEADER* placeholder = table_->Entry(0);
    listener_.Expect(Call::AboutToDeleteRows, -1, 3).Expect(Call::DeletedRows, -1, 3);
    DBROWCOUNT out = 0;
    EXPECT_EQ(S_OK, Osp()->deleteRows(-1, 0, &out));
    EXPECT_EQ(3, out);
    EXPECT_EQ(0, table_->RowCount());
    EXPECT_EQ(placeholder, table_->Entry(0));
    EXPECT_FALSE(table_->Modified()) << "deleting every row with -1 marked the table";

    // ... and leaves it set when something else set it before.
    listener_.Expect(Call::AboutToInsertRows, 1, 1).Expect(Call::InsertedRows, 1, 1);
    ASSERT_EQ(S_OK, Osp()->insertRows(1, 1, &out));
    listener_.Expect(Call::AboutToDeleteRows, -1, 1).Expect(Call::DeletedRows, -1, 1);
    EXPECT_EQ(S_OK, Osp()->deleteRows(-1, 7, &out));
    EXPECT_TRUE(table_->Modified());
}

TEST_F(EditTest, DeletingNoRowsSucceedsTellsBothEventsAndMarksTheTable) {
    listener_.Expect(Call::AboutToDeleteRows, 1, 0).Expect(Call::DeletedRows, 1, 0);
    DBROWCOUNT out = 9;
    EXPECT_EQ(S_OK, Osp()->deleteRows(1, 0, &out));
    EXPECT_EQ(0, out);
    EXPECT_EQ(3, table_->RowCount());
    EXPECT_TRUE(table_->Modified());
}

// A listener that edits the table from inside a notification must not leave
// the outer edit working on rows that are no longer there.
TEST_F(EditTest, AnEditFromInsideANotificationLeavesTheTableWhole) {
    DBROWCOUNT inner = 0;
    listener_.Expect(Call::AboutToDeleteRows, 2, 2, S_OK, [&] { EXPECT_EQ(S_OK, Osp()->deleteRows(-1, 0, &inner)); });
    listener_.Expect(Call::AboutToDeleteRows, -1, 3).Expect(Call::DeletedRows, -1, 3);
    listener_.Expect(Call::DeletedRows, 2, 0);
    DBROWCOUNT out = 9;
    EXPECT_EQ(S_OK, Osp()->deleteRows(2, 2, &out));
    EXPECT_EQ(0, out);
    EXPECT_EQ(0, table_->RowCount());

    listener_.Expect(Call::AboutToInsertRows, 1, 2).Expect(Call::InsertedRows, 1, 2);
    ASSERT_EQ(S_OK, Osp()->insertRows(1, 2, &out));
    listener_.Expect(Call::AboutToInsertRows, 3, 1, S_OK, [&] { EXPECT_EQ(S_OK, Osp()->deleteRows(-1, 0, &inner)); });
    listener_.Expect(Call::AboutToDeleteRows, -1, 2).Expect(Call::DeletedRows, -1, 2);
    listener_.Expect(Call::InsertedRows, 1, 1);
    EXPECT_EQ(S_OK, Osp()->insertRows(3, 1, &out));
    EXPECT_EQ(1, table_->RowCount());
    EXPECT_TRUE(table_->EveryEntryHoldsARow());
}

}  // namespace
}  // namespace qvtest
