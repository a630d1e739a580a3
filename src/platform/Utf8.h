// UTF-8 to and from UTF-16, the same on every platform: the narrow text of
// Linux, and of JSON everywhere.
#pragma once

#include <string>

#include "Sdk.h"

namespace qv {

// Lone surrogates become U+FFFD.
std::string Utf8FromWide(const OLECHAR* text, size_t length);
// Each byte that does not decode becomes U+FFFD.
std::basic_string<OLECHAR> WideFromUtf8(const char* text, size_t length);
// How many leading bytes of text are valid UTF-8: length when all are.
size_t Utf8ValidLength(const char* text, size_t length);

}  // namespace qv
