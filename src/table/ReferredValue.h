// Reading a by-reference value: the one place the table follows a VARIANT's
// pointer, for what setVariant stores, what find compares and what it seeks.
#pragma once

#include "platform/Platform.h"

// A shallow copy of the value a VARIANT stands for, by-reference forms read
// through their pointer (one VT_VARIANT level: a reference to a VARIANT that
// is itself a reference to a VARIANT is refused). It owns nothing and lives
// no longer than the original. False when there is no such value: a null
// pointer, a deeper nesting, or a referred type that holds no value a cell
// can compare or keep.
inline bool ReferredValue(const VARIANT& in, VARIANT& out) {
    out = in;
    if (!(in.vt & VT_BYREF)) return true;
    if (!in.byref) return false;
    const VARTYPE base = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
    switch (base) {
        case VT_VARIANT:
            if (in.pvarVal->vt == (VT_BYREF | VT_VARIANT)) return false;
            return ReferredValue(*in.pvarVal, out);
        case VT_I1:
            out.cVal = *in.pcVal;
            break;
        case VT_I2:
            out.iVal = *in.piVal;
            break;
        case VT_I4:
            out.lVal = *in.plVal;
            break;
        case VT_I8:
            out.llVal = *in.pllVal;
            break;
        case VT_INT:
            out.intVal = *in.pintVal;
            break;
        case VT_UI1:
            out.bVal = *in.pbVal;
            break;
        case VT_UI2:
            out.uiVal = *in.puiVal;
            break;
        case VT_UI4:
            out.ulVal = *in.pulVal;
            break;
        case VT_UI8:
            out.ullVal = *in.pullVal;
            break;
        case VT_UINT:
            out.uintVal = *in.puintVal;
            break;
        case VT_R4:
            out.fltVal = *in.pfltVal;
            break;
        case VT_R8:
            out.dblVal = *in.pdblVal;
            break;
        case VT_CY:
            out.cyVal = *in.pcyVal;
            break;
        case VT_DATE:
            out.date = *in.pdate;
            break;
        case VT_BSTR:
            out.bstrVal = *in.pbstrVal;
            break;
        case VT_ERROR:
            out.scode = *in.pscode;
            break;
        case VT_BOOL:
            out.boolVal = *in.pboolVal;
            break;
        case VT_DECIMAL:
            out.decVal = *in.pdecVal;
            break;  // fills the type field too: set it below
        default:
            return false;
    }
    out.vt = base;
    return true;
}
