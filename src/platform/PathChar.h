// A file name as the platform's file calls take it: UTF-8 on Linux, UTF-16 on
// Windows, so that every name the file system holds can be spelled.
#pragma once

namespace qv {

#ifdef _WIN32
typedef wchar_t PathChar;
#else
typedef char PathChar;
#endif

}  // namespace qv
