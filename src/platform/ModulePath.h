// The full path of a loaded module and where its directory part ends.
#pragma once

#ifdef _WIN32
#include "windows/WindowsSdk.h"
#else
#include "linux/Module.h"
#endif

#include "PathChar.h"

namespace qv {

// The path separator of module paths: a module's directory runs up to and
// including the last one.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// As GetModuleFileNameW (Windows) or in UTF-8 (Linux): writes the module's
// full path into buffer (size characters) and returns its length without the
// terminator; 0 on failure; size when the path was cut short. On Linux, where
// no loader passes a handle to DllMain, a null module means the library that
// holds this code and any other value an address inside the module wanted.
DWORD ModuleFileName(HMODULE module, PathChar* buffer, DWORD size);

}  // namespace qv
