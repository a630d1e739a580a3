// BSTR and VARIANT functions on Linux, with OLE Automation's semantics for the
// types the library meets.
#include "OleAuto.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "../VariantText.h"
#include "../WideString.h"

namespace {
// A BSTR points just past a 32-bit byte count; the characters end with a zero.
uint32_t* Header(BSTR bstr) { return reinterpret_cast<uint32_t*>(bstr) - 1; }
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > (UINT32_MAX - 8) / sizeof(OLECHAR)) return nullptr;
    size_t bytes = sizeof(uint32_t) + (static_cast<size_t>(cch) + 1) * sizeof(OLECHAR);
    auto* block = static_cast<uint32_t*>(std::malloc(bytes));
    if (!block) return nullptr;
    block[0] = static_cast<uint32_t>(cch * sizeof(OLECHAR));
    BSTR text = reinterpret_cast<BSTR>(block + 1);
    // Without a source the characters are left for the caller to write, as
    // OLE leaves them.
    if (pch) std::memcpy(text, pch, static_cast<size_t>(cch) * sizeof(OLECHAR));
    text[cch] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(qv::WideLength(psz)));
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(Header(bstr));
}

UINT SysStringLen(BSTR bstr) { return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0; }

void VariantInit(VARIANTARG* pvarg) {
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

namespace {
bool IsKnownType(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    if ((vt & ~(VT_TYPEMASK | VT_BYREF | VT_ARRAY)) != 0) return false;
    if (base == 15 || (base > VT_UINT && base != VT_RECORD)) return false;
    if ((vt & VT_BYREF) == 0 && (base == VT_VARIANT)) return false;
    return true;
}
}  // namespace

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!IsKnownType(pvarg->vt)) return DISP_E_BADVARTYPE;
    if ((pvarg->vt & (VT_BYREF | VT_ARRAY)) == 0) {
        switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal) pvarg->punkVal->Release();
                break;
            default:
                break;
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (!IsKnownType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc) return S_OK;
    // Arrays and records never reach the library on this platform.
    if ((pvargSrc->vt & VT_ARRAY) || pvargSrc->vt == VT_RECORD) return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) return hr;
    if (pvargSrc->vt == VT_BSTR) {
        BSTR copy = nullptr;
        if (pvargSrc->bstrVal) {
            copy = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (!copy) return E_OUTOFMEMORY;
        }
        *pvargDest = *pvargSrc;
        pvargDest->bstrVal = copy;
        return S_OK;
    }
    *pvargDest = *pvargSrc;
    if ((pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) && pvargSrc->punkVal) pvargSrc->punkVal->AddRef();
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (!IsKnownType(pvargSrc->vt) || !pvargSrc->byref) return E_INVALIDARG;
    VARTYPE base = pvargSrc->vt & ~VT_BYREF;
    VARIANT value;
    VariantInit(&value);
    switch (base) {
        case VT_VARIANT:
            if (pvargSrc->pvarVal->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
            return VariantCopyInd(pvarDest, pvargSrc->pvarVal);
        case VT_I2:
            value.iVal = *pvargSrc->piVal;
            break;
        case VT_I4:
            value.lVal = *pvargSrc->plVal;
            break;
        case VT_R4:
            value.fltVal = *pvargSrc->pfltVal;
            break;
        case VT_R8:
            value.dblVal = *pvargSrc->pdblVal;
            break;
        case VT_CY:
            value.cyVal = *pvargSrc->pcyVal;
            break;
        case VT_DATE:
            value.date = *pvargSrc->pdate;
            break;
        case VT_BSTR:
            value.bstrVal = *pvargSrc->pbstrVal;
            break;
        case VT_DISPATCH:
            value.pdispVal = *pvargSrc->ppdispVal;
            break;
        case VT_ERROR:
            value.scode = *pvargSrc->pscode;
            break;
        case VT_BOOL:
            value.boolVal = *pvargSrc->pboolVal;
            break;
        case VT_UNKNOWN:
            value.punkVal = *pvargSrc->ppunkVal;
            break;
        case VT_DECIMAL:
            value.decVal = *pvargSrc->pdecVal;
            break;
        case VT_I1:
            value.cVal = *pvargSrc->pcVal;
            break;
        case VT_UI1:
            value.bVal = *pvargSrc->pbVal;
            break;
        case VT_UI2:
            value.uiVal = *pvargSrc->puiVal;
            break;
        case VT_UI4:
            value.ulVal = *pvargSrc->pulVal;
            break;
        case VT_I8:
            value.llVal = *pvargSrc->pllVal;
            break;
        case VT_UI8:
            value.ullVal = *pvargSrc->pullVal;
            break;
        case VT_INT:
            value.intVal = *pvargSrc->pintVal;
            break;
        case VT_UINT:
            value.uintVal = *pvargSrc->puintVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    // DECIMAL fills the whole VARIANT, type field included; set the tag last.
    value.vt = base;
    return VariantCopy(pvarDest, &value);
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr)) return hr;
    if (source.vt == VT_BSTR) {
        VariantClear(pvargDest);
        *pvargDest = source;
        return S_OK;
    }
    std::basic_string<OLECHAR> text;
    bool ok = qv::VariantToText(source, text);
    VariantClear(&source);
    if (!ok) return DISP_E_TYPEMISMATCH;
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr) return E_OUTOFMEMORY;
    VariantClear(pvargDest);
    pvargDest->vt = VT_BSTR;
    pvargDest->bstrVal = bstr;
    return S_OK;
}
