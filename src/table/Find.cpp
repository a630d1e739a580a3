// find: the first row, searching up or down from a start row, whose cell in a
// column stands in a given relation to a sought value.
#include "ReferredValue.h"
#include "VxASCOSPObject.h"
#include "platform/Compiler.h"
#include "platform/WideString.h"

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

// Equal texts of length code units; a loaded field's bytes are its characters.
template <class Unit>
bool SameText(const Unit* a, const OLECHAR* b, UINT length, bool caseSensitive) {
    if (caseSensitive) {
        for (UINT i = 0; i < length; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    for (UINT i = 0; i < length; ++i)
        if (a[i] != b[i] && qv::FoldAscii(a[i]) != qv::FoldAscii(b[i])) return false;
    return true;
}

}  // namespace

bool VxASCOSPObject::FindText(LONG& row, LONG step, LONG rowCount, LONG cell, const VARIANT& val, BSTR sought,
                              bool caseSensitive, bool equal) {
    // Equality of two strings is equality of their lengths and code units, so
    // a cell whose length differs is passed over without reading its text: a
    // loaded field's length is in its cell. Cells of other types take the
    // general comparison.
    const UINT length = SysStringLen(sought);
    auto same = [&](const ROWHEADER* record, VxCell value) {
        if (value.IsText())
            return value.TextLength() == length &&
                   SameText(record->text + value.TextOffset(), sought, length, caseSensitive);
        if (value.IsValue() && value.Value()->vt == VT_BSTR) {
            const BSTR held = value.Value()->bstrVal;
            return SysStringLen(held) == length && SameText(held, sought, length, caseSensitive);
        }
        return Satisfies(OSPCOMP_EQ, CompareCell(record, cell, val, caseSensitive));
    };
    // From the column's second search on, its lengths in one run: a row
    // whose field has another length is passed over (or, for NE, found)
    // without reading the row, and a row read has its length noted. Rows
    // still to be read are fetched ahead.
    uint8_t* lengths = columnLengths_.Get(cell, rowCount + 1, columnCount_);
    auto unread = [&](LONG r) {
        return r >= 1 && r <= rowCount && (!lengths || lengths[r] == VxColumnLengths::kReadRow);
    };
    const LONG kRecordsAhead = 32, kCellsAhead = 16;
    for (; row >= 1 && row <= rowCount; row += step) {
        if (lengths) {
            const uint8_t held = lengths[row];
            if (held != VxColumnLengths::kReadRow && held != length) {
                if (!equal) return true;
                continue;
            }
        }
        if (unread(row + kRecordsAhead * step)) qv::Prefetch(rows_[row + kRecordsAhead * step]);
        const LONG cellAhead = row + kCellsAhead * step;
        if (unread(cellAhead) && cell < rows_[cellAhead]->cellCount) qv::Prefetch(rows_[cellAhead]->CellAddress(cell));
        const ROWHEADER* record = rows_[row];
        const VxCell value = record->CellOrEmpty(cell);
        if (lengths) lengths[row] = VxColumnLengths::Entry(value);
        if (same(record, value) == equal) return true;
    }
    return false;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::find(DBROWCOUNT iRowStart, DB_LORDINAL iColumn, VARIANT val,
                                               OSPFIND findFlags, OSPCOMP compType, DBROWCOUNT* piRowFound) {
    if (Dying()) return E_UNEXPECTED;
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

    // A string sought for equality, by reference or not, takes the walk that
    // compares texts; a null BSTR is the empty string.
    VARIANT referred;
    if ((comparison == OSPCOMP_EQ || comparison == OSPCOMP_NE) && ReferredValue(val, referred) &&
        referred.vt == VT_BSTR) {
        LONG row = static_cast<LONG>(iRowStart);
        if (FindText(row, step, rowCount, cell, val, referred.bstrVal, caseSensitive, comparison == OSPCOMP_EQ)) {
            *piRowFound = row;
            return S_OK;
        }
    } else if (comparison >= OSPCOMP_EQ && comparison <= OSPCOMP_NE) {
        for (LONG row = static_cast<LONG>(iRowStart); row >= 1 && row <= rowCount; row += step) {
            if (Satisfies(comparison, CompareCell(rows_[row], cell, val, caseSensitive))) {
                *piRowFound = row;
                return S_OK;
            }
        }
    }
    *piRowFound = -1;
    return E_FAIL;
}
