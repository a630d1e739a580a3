// The text form of a scalar VARIANT, the same on every platform and in every
// locale: integers in plain decimal ("42", "-7"), floating point in its
// shortest round-trip form ("3.5", "1e+100"), currency and decimal as exact
// decimals without trailing zeros ("12.5"), dates as "YYYY-MM-DD" or
// "YYYY-MM-DD HH:MM:SS", booleans as "True" or "False".
#pragma once

#include <string>

#include "Sdk.h"

namespace qv {

typedef std::basic_string<OLECHAR> WideString;

// True when the value's type has a text form (not by reference: callers
// dereference first); text then holds it. VT_BSTR, VT_EMPTY, VT_NULL, objects,
// arrays, records and error codes have none here and give false.
bool HasTextForm(VARTYPE vt);
bool VariantToText(const VARIANT& value, WideString& text);

}  // namespace qv
