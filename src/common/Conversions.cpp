// WideToAnsi and AnsiToBstr over the platform's narrow conversion.
#include "Conversions.h"

#include <cstring>

#include "platform/TextConversion.h"

HRESULT WideToAnsi(const OLECHAR* text, char* buffer, int bufferSize) {
    if (!text || !buffer || bufferSize <= 0) return E_FAIL;
    return qv::NarrowFromWide(text, -1, buffer, bufferSize) > 0 ? S_OK : E_FAIL;
}

BSTR AnsiToBstr(const char* text) {
    int length = static_cast<int>(std::strlen(text));
    int wide = length ? qv::WideFromNarrow(text, length, nullptr, 0) : 0;
    BSTR result = qv::AllocBstrLen(nullptr, static_cast<unsigned>(wide));
    if (result && wide) qv::WideFromNarrow(text, length, result, wide);
    return result;
}
