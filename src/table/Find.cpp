// find: the first row, searching up or down from a start row, whose cell in a
// column stands in a given relation to a sought value.
#include "VxASCOSPObject.h"

namespace {

// Whether a comparison's outcome satisfies compType. Ordering relations hold
// only for ordered pairs (strings, numbers of one type); LT and GT are strict.
// A value that is no OSPCOMP value is never satisfied.
bool Satisfies(LONG compType, VxASCOSPObject::VariantOrder order) {
    const bool equal = order == VxASCOSPObject::kOrderEqual || order == VxASCOSPObject::kOrderSame;
    switch (compType) {
        case OSPCOMP_EQ:
            return equal;
        case OSPCOMP_NE:
            return !equal;
        case OSPCOMP_LT:
            return order == VxASCOSPObject::kOrderLess;
        case OSPCOMP_LE:
            return order == VxASCOSPObject::kOrderLess || order == VxASCOSPObject::kOrderEqual;
        case OSPCOMP_GE:
            return order == VxASCOSPObject::kOrderGreater || order == VxASCOSPObject::kOrderEqual;
        case OSPCOMP_GT:
            return order == VxASCOSPObject::kOrderGreater;
        default:
            return false;
    }
}

}  // namespace

HRESULT STDMETHODCALLTYPE VxASCOSPObject::find(DBROWCOUNT iRowStart, DB_LORDINAL iColumn, VARIANT val,
                                               OSPFIND findFlags, OSPCOMP compType, DBROWCOUNT* piRowFound) {
    if (!piRowFound) return E_INVALIDARG;
    if (iRowStart <= 0) return E_INVALIDARG;
    if (iColumn <= 0 || iColumn > columnCount_) return E_INVALIDARG;

    CSingleLock lock(rows_.GetLock());
    const LONG rowCount = rows_.GetSize() - 1;
    if (iRowStart > rowCount) return E_INVALIDARG;

    // findFlags is read as one of four values, not bit by bit; anything else
    // searches downward, case-insensitively.
    const bool upward = findFlags == OSPFIND_UP || findFlags == OSPFIND_UPCASESENSITIVE;
    const bool caseSensitive = findFlags == OSPFIND_CASESENSITIVE || findFlags == OSPFIND_UPCASESENSITIVE;
    const LONG step = upward ? -1 : 1;
    const LONG cell = static_cast<LONG>(iColumn) - 1;
    const LONG comparison = static_cast<LONG>(compType);

    if (comparison >= OSPCOMP_EQ && comparison <= OSPCOMP_NE) {
        for (LONG row = static_cast<LONG>(iRowStart); row >= 1 && row <= rowCount; row += step) {
            if (Satisfies(comparison, CompareVariants(rows_[row]->CellOrEmpty(cell), val, caseSensitive))) {
                *piRowFound = row;
                return S_OK;
            }
        }
    }
    *piRowFound = -1;
    return E_FAIL;
}
