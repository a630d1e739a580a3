// The path of a loaded module on Windows.
#include "../ModulePath.h"

namespace qv {

DWORD ModuleFileName(HMODULE module, PathChar* buffer, DWORD size) { return GetModuleFileNameW(module, buffer, size); }

}  // namespace qv
