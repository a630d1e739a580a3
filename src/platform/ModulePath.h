// The full path of a loaded module and where its directory part ends; where
// the platform keeps the libraries that it shares among programs.
#pragma once

#include "Sdk.h"

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

// The platform's own copy of a library that it shares among programs, when
// the file is there: relativePath (ASCII, e.g. "System\\Ole DB\\x.dll") below
// the common files folder of the calling process's bitness, as the system
// names that folder (a service may lack the environment variable). Writes the
// full path into buffer (size characters) and returns its length without the
// terminator; 0 when there is no such file, the folder cannot be had or the
// path does not fit. Linux keeps no such folder: always 0.
DWORD SharedLibraryPath(const char* relativePath, PathChar* buffer, DWORD size);

// True when path names an existing file (a folder is none).
bool FileExists(const PathChar* path);

}  // namespace qv
