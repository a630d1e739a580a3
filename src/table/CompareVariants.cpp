// CompareVariants: how a cell stands to the value find looks for. Two strings,
// or two numbers of one type, are ordered; any other pair is only equal (same
// type, same value) or different. By-reference values compare as the values
// they refer to.
#include <cmath>
#include <cstdint>

#include "ReferredValue.h"
#include "VxASCOSPObject.h"
#include "platform/WideString.h"

namespace {

typedef VxASCOSPObject::VariantOrder Order;

template <class T>
Order OrderOf(T a, T b) {
    return a < b ? VxASCOSPObject::kOrderLess : (b < a ? VxASCOSPObject::kOrderGreater : VxASCOSPObject::kOrderEqual);
}

// Floating point: a NaN stands in no relation to anything, itself included.
template <class T>
Order OrderOfReal(T a, T b) {
    if (std::isnan(a) || std::isnan(b)) return VxASCOSPObject::kOrderDifferent;
    return OrderOf(a, b);
}

// Compares the whole texts (a NUL is an ordinary character; a null BSTR is
// the empty string) code unit by code unit; a text that is the start of the
// other sorts first. Case-insensitive folds only A to Z, onto a to z. A loaded
// field's bytes are its characters.
template <class Unit>
Order OrderOfText(const Unit* a, UINT lengthA, BSTR b, bool caseSensitive) {
    UINT lengthB = SysStringLen(b);
    UINT common = lengthA < lengthB ? lengthA : lengthB;
    for (UINT i = 0; i < common; ++i) {
        unsigned ca = caseSensitive ? static_cast<unsigned>(a[i]) : qv::FoldAscii(a[i]);
        unsigned cb = caseSensitive ? static_cast<unsigned>(b[i]) : qv::FoldAscii(b[i]);
        if (ca != cb) return OrderOf(ca, cb);
    }
    return OrderOf(lengthA, lengthB);
}

// A DECIMAL's magnitude times 10^(scale - its own scale), as 32-bit limbs,
// least significant first. 2^96 * 10^28 stays below 2^192.
const int kLimbs = 7;
void ScaledMagnitude(const DECIMAL& value, unsigned scale, uint32_t (&limbs)[kLimbs]) {
    uint32_t source[kLimbs] = {static_cast<uint32_t>(value.Lo32), static_cast<uint32_t>(value.Mid32),
                               static_cast<uint32_t>(value.Hi32)};
    for (int i = 0; i < kLimbs; ++i) limbs[i] = source[i];
    for (unsigned step = value.scale; step < scale; ++step) {
        uint64_t carry = 0;
        for (uint32_t& limb : limbs) {
            uint64_t product = static_cast<uint64_t>(limb) * 10 + carry;
            limb = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
    }
}

bool IsZero(const DECIMAL& value) { return value.Lo32 == 0 && value.Mid32 == 0 && value.Hi32 == 0; }

// Exact comparison of two decimals by value (1.0 equals 1.00; -0 equals 0).
Order OrderOfDecimal(const DECIMAL& a, const DECIMAL& b) {
    if (a.scale > 28 || b.scale > 28) return VxASCOSPObject::kOrderDifferent;  // not a valid decimal
    bool negativeA = (a.sign & DECIMAL_NEG) && !IsZero(a);
    bool negativeB = (b.sign & DECIMAL_NEG) && !IsZero(b);
    if (negativeA != negativeB) return negativeA ? VxASCOSPObject::kOrderLess : VxASCOSPObject::kOrderGreater;
    unsigned scale = a.scale > b.scale ? a.scale : b.scale;
    uint32_t limbsA[kLimbs], limbsB[kLimbs];
    ScaledMagnitude(a, scale, limbsA);
    ScaledMagnitude(b, scale, limbsB);
    Order magnitude = VxASCOSPObject::kOrderEqual;
    for (int i = kLimbs - 1; i >= 0 && magnitude == VxASCOSPObject::kOrderEqual; --i)
        magnitude = OrderOf(limbsA[i], limbsB[i]);
    if (!negativeA || magnitude == VxASCOSPObject::kOrderEqual) return magnitude;
    return magnitude == VxASCOSPObject::kOrderLess ? VxASCOSPObject::kOrderGreater : VxASCOSPObject::kOrderLess;
}

Order SameOrDifferent(bool same) { return same ? VxASCOSPObject::kOrderSame : VxASCOSPObject::kOrderDifferent; }

}  // namespace

VxASCOSPObject::VariantOrder VxASCOSPObject::CompareCell(const ROWHEADER* row, LONG k, const VARIANT& sought,
                                                         bool caseSensitive) {
    static const VARIANT kEmpty = {};  // all zero: VT_EMPTY
    const VxCell cell = row->CellOrEmpty(k);
    if (!cell.IsText()) return CompareVariants(cell.IsValue() ? *cell.Value() : kEmpty, sought, caseSensitive);
    VARIANT b;
    if (!ReferredValue(sought, b) || b.vt != VT_BSTR) return kOrderDifferent;
    return OrderOfText(row->text + cell.TextOffset(), cell.TextLength(), b.bstrVal, caseSensitive);
}

VxASCOSPObject::VariantOrder VxASCOSPObject::CompareVariants(const VARIANT& value, const VARIANT& sought,
                                                             bool caseSensitive) {
    VARIANT a, b;
    if (!ReferredValue(value, a) || !ReferredValue(sought, b)) return kOrderDifferent;
    // Values of different types are never equal: an empty cell is not an
    // empty string, and the number 1 is not the text "1".
    if (a.vt != b.vt || (a.vt & (VT_RESERVED | VT_ARRAY))) return kOrderDifferent;
    switch (a.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return kOrderSame;
        case VT_BSTR:
            return OrderOfText(a.bstrVal, SysStringLen(a.bstrVal), b.bstrVal, caseSensitive);
        case VT_I1:
            return OrderOf(a.cVal, b.cVal);
        case VT_I2:
            return OrderOf(a.iVal, b.iVal);
        case VT_I4:
            return OrderOf(a.lVal, b.lVal);
        case VT_I8:
            return OrderOf(a.llVal, b.llVal);
        case VT_INT:
            return OrderOf(a.intVal, b.intVal);
        case VT_UI1:
            return OrderOf(a.bVal, b.bVal);
        case VT_UI2:
            return OrderOf(a.uiVal, b.uiVal);
        case VT_UI4:
            return OrderOf(a.ulVal, b.ulVal);
        case VT_UI8:
            return OrderOf(a.ullVal, b.ullVal);
        case VT_UINT:
            return OrderOf(a.uintVal, b.uintVal);
        case VT_CY:
            return OrderOf(a.cyVal.int64, b.cyVal.int64);
        case VT_R4:
            return OrderOfReal(a.fltVal, b.fltVal);
        case VT_R8:
            return OrderOfReal(a.dblVal, b.dblVal);
        case VT_DATE:
            return OrderOfReal(a.date, b.date);
        case VT_DECIMAL:
            return OrderOfDecimal(a.decVal, b.decVal);
        case VT_BOOL:
            return SameOrDifferent(a.boolVal == b.boolVal);
        case VT_ERROR:
            return SameOrDifferent(a.scode == b.scode);
        default:
            return kOrderDifferent;  // objects, records and the like: no value to compare
    }
}
