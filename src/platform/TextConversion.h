// Narrow text of the system: the ANSI code page on Windows, UTF-8 elsewhere
// (which is also how Linux spells file names).
#pragma once

#include "Sdk.h"

#include <cstddef>
#include <string>

namespace qv {

// Converts length code units of text (-1: up to and including the terminator)
// into out, as WideCharToMultiByte with no flags does; characters the narrow
// encoding lacks become its default character. With outSize 0 it only
// measures. Returns the bytes written (or needed), 0 on failure, including an
// out buffer that is too small.
int NarrowFromWide(const OLECHAR* text, int length, char* out, int outSize);
// As NarrowFromWide, but 0 when the narrow encoding cannot hold the text
// exactly: no default character and no look-alike ever stands in for one.
// What a table writes above U+00FF, and so what its edits may hold.
int NarrowFromWideExact(const OLECHAR* text, int length, char* out, int outSize);
// The reverse, as MultiByteToWideChar: bytes that do not decode become U+FFFD.
int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize);
// How many leading bytes of text WideFromNarrow decodes without replacing
// anything: length when it decodes all of them.
size_t NarrowValidLength(const char* text, size_t length);
// The narrow encoding's name for messages: "UTF-8", "code page 1252".
std::string NarrowEncodingName();

}  // namespace qv
