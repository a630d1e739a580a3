// The portability layer's BSTR and VARIANT behaviour, which the library relies
// on being the same as OLE Automation's on Windows; these tests run on both.
#include <gtest/gtest.h>

#include "platform/TextConversion.h"
#include "platform/Utf8.h"
#include "platform/VariantText.h"
#include "support/Hooks.h"
#include "support/TableProbe.h"

namespace {

using qvtest::N;
using qvtest::OwnedVariant;
using qvtest::W;
using qvtest::Wide;

TEST(Bstr, KeepsItsLengthInFrontAndATerminatorBehind) {
    Wide text = W(std::string("ab\0c", 4));
    BSTR bstr = SysAllocStringLen(text.data(), 4);
    ASSERT_NE(nullptr, bstr);
    EXPECT_EQ(4u, SysStringLen(bstr));
    EXPECT_EQ(8u, reinterpret_cast<const uint32_t*>(bstr)[-1]) << "byte length before the characters";
    EXPECT_EQ(0, bstr[4]);
    SysFreeString(bstr);

    BSTR empty = SysAllocString(OLESTR(""));
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);
}

TEST(Variant, CopyDuplicatesStringsAndClearFreesThem) {
    OwnedVariant source("hello"), copy;
    ASSERT_EQ(S_OK, VariantCopy(&copy.v, &source.v));
    EXPECT_EQ(VT_BSTR, copy.v.vt);
    EXPECT_NE(source.v.bstrVal, copy.v.bstrVal);
    EXPECT_EQ("hello", N(copy.v.bstrVal));
    EXPECT_EQ(S_OK, VariantClear(&copy.v));
    EXPECT_EQ(VT_EMPTY, copy.v.vt);
}

TEST(Variant, CopyIndDereferencesByReferenceValues) {
    LONG number = 42;
    OwnedVariant text("x"), out;
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    ASSERT_EQ(S_OK, VariantCopyInd(&out.v, &byRef));
    EXPECT_EQ(VT_I4, out.v.vt);
    EXPECT_EQ(42, out.v.lVal);

    byRef.vt = VT_BYREF | VT_BSTR;
    byRef.pbstrVal = &text.v.bstrVal;
    ASSERT_EQ(S_OK, VariantCopyInd(&out.v, &byRef));
    EXPECT_EQ(VT_BSTR, out.v.vt);
    EXPECT_NE(text.v.bstrVal, out.v.bstrVal);
    EXPECT_EQ("x", N(out.v.bstrVal));
}

TEST(Variant, ChangeTypeToBstrGivesTheTextOfANumber) {
    OwnedVariant number = OwnedVariant::I4(-7), text;
    ASSERT_EQ(S_OK, VariantChangeType(&text.v, &number.v, 0, VT_BSTR));
    ASSERT_EQ(VT_BSTR, text.v.vt);
    EXPECT_EQ("-7", N(text.v.bstrVal));
}

TEST(Variant, TheCopyWrappersAnswerTheAllocationHook) {
    qvtest::AllocFailureGuard guard;
    OwnedVariant source("s"), copy = OwnedVariant::I4(7);
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, qv::CopyVariant(&copy.v, &source.v));
    EXPECT_EQ(VT_EMPTY, copy.v.vt);
    EXPECT_EQ(S_OK, qv::CopyVariant(&copy.v, &source.v));
    EXPECT_EQ(VT_BSTR, copy.v.vt);
}

std::string TextOf(const VARIANT& value) {
    qv::WideString text;
    if (!qv::VariantToText(value, text)) return "<none>";
    return N(text.data(), text.size());
}

TEST(VariantText, IsTheSameLocaleFreeTextOnEveryPlatformAndExactForDecimals) {
    const struct {
        void (*set)(VARIANT&);
        const char* text;
    } cases[] = {{[](VARIANT& v) { v.vt = VT_I4, v.lVal = 42; }, "42"},
                 {[](VARIANT& v) { v.vt = VT_I2, v.iVal = -7; }, "-7"},
                 {[](VARIANT& v) { v.vt = VT_UI1, v.bVal = 255; }, "255"},
                 {[](VARIANT& v) { v.vt = VT_I8, v.llVal = -9223372036854775807LL - 1; }, "-9223372036854775808"},
                 {[](VARIANT& v) { v.vt = VT_R8, v.dblVal = 3.5; }, "3.5"},
                 {[](VARIANT& v) { v.vt = VT_R8, v.dblVal = 0.1; }, "0.1"},
                 {[](VARIANT& v) { v.vt = VT_R4, v.fltVal = 0.1f; }, "0.1"},
                 {[](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE; }, "True"},
                 {[](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_FALSE; }, "False"},
                 {[](VARIANT& v) { v.vt = VT_CY, v.cyVal.int64 = 125000; }, "12.5"},
                 {[](VARIANT& v) { v.vt = VT_CY, v.cyVal.int64 = -1; }, "-0.0001"},
                 {[](VARIANT& v) { v.vt = VT_DATE, v.date = 0.0; }, "1899-12-30"},
                 {[](VARIANT& v) { v.vt = VT_DATE, v.date = 45658.75; }, "2025-01-01 18:00:00"},
                 {[](VARIANT& v) { v.vt = VT_DATE, v.date = -1.25; }, "1899-12-29 06:00:00"},
                 // A decimal overlays the type, which goes in last; its text is exact.
                 {[](VARIANT& v) {
                      v.decVal.Hi32 = 0, v.decVal.Lo64 = 12345, v.decVal.scale = 3, v.decVal.sign = DECIMAL_NEG;
                      v.vt = VT_DECIMAL;
                  },
                  "-12.345"},
                 {[](VARIANT& v) {
                      v.decVal.Hi32 = 0xFFFFFFFF, v.decVal.Lo64 = 0xFFFFFFFFFFFFFFFFULL, v.decVal.scale = 0;
                      v.decVal.sign = 0, v.vt = VT_DECIMAL;
                  },
                  "79228162514264337593543950335"},
                 {[](VARIANT& v) { v.vt = VT_ERROR, v.scode = 5; }, "<none>"},
                 {[](VARIANT& v) { v.vt = VT_NULL; }, "<none>"}};
    for (const auto& c : cases) {
        VARIANT v;
        VariantInit(&v);
        c.set(v);
        EXPECT_EQ(c.text, TextOf(v)) << "vt " << v.vt;
    }
}

TEST(TextConversion, RoundTripsTheNarrowTextOfThePlatform) {
    const OLECHAR text[] = {OLESTR('a'), 0x00E9, 0};
    char narrow[16];
    int written = qv::NarrowFromWide(text, -1, narrow, sizeof narrow);
    ASSERT_GT(written, 0);
    OLECHAR back[16];
    ASSERT_EQ(3, qv::WideFromNarrow(narrow, written, back, 16));
    EXPECT_EQ(0x00E9, back[1]);
    EXPECT_EQ(0, qv::NarrowFromWide(text, -1, narrow, 2)) << "a buffer that is too small fails";
    EXPECT_EQ(static_cast<size_t>(written), qv::NarrowValidLength(narrow, static_cast<size_t>(written)))
        << "what the platform writes it reads back whole";
}

TEST(Utf8, DecodesPairsAndReplacesWhatDoesNotDecode) {
    const OLECHAR text[] = {OLESTR('a'), 0x00E9, 0xD83D, 0xDE00, 0xDC00};
    EXPECT_EQ("a\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD", qv::Utf8FromWide(text, 5)) << "a lone surrogate";
    qv::WideString back = qv::WideFromUtf8("a\xC3\xA9\xF0\x9F\x98\x80", 7);
    EXPECT_EQ(qv::WideString(text, 4), back);
    const std::string bad = "\xC3(\xE0\x80\x80";  // a cut sequence, then an overlong one
    qv::WideString replaced = qv::WideFromUtf8(bad.data(), bad.size());
    ASSERT_EQ(5u, replaced.size());
    EXPECT_EQ(0xFFFD, replaced[0]);
    EXPECT_EQ(OLESTR('('), replaced[1]);
    EXPECT_EQ(0xFFFD, replaced[2]);
}

TEST(Utf8, ValidLengthStopsWhereTheDecoderWouldReplace) {
    const struct {
        const char* text;
        size_t valid;
    } cases[] = {
        {"", 0},
        {"a\xC3\xA9\xF0\x9F\x98\x80", 7},
        {"ab\xFF\xFE", 2},
        {"caf\xC3\xA9 \xE2\x82", 6},  // cut short by the end
        {"\xE0\x80\x80", 0},          // overlong
        {"x\xED\xA0\x80", 1},         // a surrogate
        {"x\xF4\x90\x80\x80", 1},     // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(c.valid, qv::Utf8ValidLength(text.data(), text.size())) << text;
        bool replaced = qv::WideFromUtf8(text.data(), text.size()).find(0xFFFD) != qv::WideString::npos;
        EXPECT_EQ(c.valid < text.size(), replaced) << text;
    }
}

}  // namespace
