// The registry operations that self-registration and the quorvel host use:
// the Win32 API on Windows, a REGEDIT4 file of our own elsewhere.
#pragma once

#include <string>

#include "PathChar.h"
#ifdef _WIN32
#include "Sdk.h"

namespace qv {
// Sets a REG_SZ value of key to a file name; the name is ASCII or null for
// the default value.
inline LONG SetRegistryText(HKEY key, const char* name, const PathChar* value) {
    DWORD bytes = static_cast<DWORD>((std::char_traits<PathChar>::length(value) + 1) * sizeof(PathChar));
    wchar_t wideName[64] = {};
    for (size_t i = 0; name && name[i] && i + 1 < 64; ++i) wideName[i] = static_cast<wchar_t>(name[i]);
    return RegSetValueExW(key, name ? wideName : nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
}

// Elsewhere this keeps other processes' registry changes out for its life;
// the Windows registry has no such lock, so here it does nothing.
class RegistryTransaction {
public:
    RegistryTransaction() {}
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;
};
}  // namespace qv
#else
#include "winapi/Registry.h"

namespace qv {
inline LONG SetRegistryText(HKEY key, const char* name, const PathChar* value) {
    DWORD bytes = static_cast<DWORD>(std::char_traits<PathChar>::length(value) + 1);
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
}
}  // namespace qv
#endif
