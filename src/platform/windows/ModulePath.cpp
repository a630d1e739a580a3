// The path of a loaded module on Windows.
#include "../ModulePath.h"

namespace qv {

DWORD ModuleFileName(HMODULE module, char* buffer, DWORD size) { return GetModuleFileNameA(module, buffer, size); }

}  // namespace qv
