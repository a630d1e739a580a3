// Text between the provider's UTF-16 and the host's narrow streams: UTF-8 for
// JSON, the system's narrow encoding for people.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace quorvel {

typedef std::basic_string<OLECHAR> Wide;

// Lone surrogates become U+FFFD.
std::string Utf8FromWide(const OLECHAR* text, size_t length);
// Bytes that do not decode become U+FFFD.
Wide WideFromUtf8(const std::string& text);
// The system's narrow encoding (the ANSI code page on Windows, UTF-8 elsewhere).
std::string NarrowFromWide(const OLECHAR* text, size_t length);
Wide WideFromNarrow(const std::string& text);
// How many leading bytes of narrow text WideFromNarrow takes as they are,
// replacing none; text.size() when it takes all. And the narrow encoding's name.
size_t NarrowValidLength(const std::string& text);
std::string NarrowEncodingName();

// A BSTR holding the text; null when it cannot be allocated. The caller frees it.
BSTR NewBstr(const Wide& text);

}  // namespace quorvel
