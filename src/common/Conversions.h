// The shared conversions between wide text and the system's narrow text.
#pragma once

#include "platform/Platform.h"

// Converts the whole zero-terminated text, terminator included, into buffer
// (bufferSize bytes). S_OK when it converted, E_FAIL when not (for instance
// when the buffer is too small).
HRESULT WideToAnsi(const OLECHAR* text, char* buffer, int bufferSize);
// A new BSTR of exactly the converted length of text (terminator not
// counted); an empty text gives an empty, non-null BSTR; null when the
// allocation fails. The caller owns the result.
BSTR AnsiToBstr(const char* text);
