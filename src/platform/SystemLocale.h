// The name of the system default locale's language, as getLocale reports it.
#pragma once

namespace qv {

// Places the zero-terminated name of the language of the system default
// locale (for example "English (United States)") in buffer, in the narrow
// encoding, as GetLocaleInfoA does for LOCALE_SLANGUAGE: with size 0 it
// returns the bytes needed, terminator included; otherwise the bytes written,
// terminator included. 0 when the system refuses or the buffer is too small.
int SystemLanguageName(char* buffer, int size);

}  // namespace qv
