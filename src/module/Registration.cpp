// DllRegisterServer and DllUnregisterServer: the registration table written
// first to last, and its keys deleted last to first.
#include <cstring>

#include "Exports.h"
#include "ModuleCounts.h"
#include "RegistrationTable.h"
#include "platform/ModulePath.h"

namespace {

constexpr size_t kPathSize = 260;   // bytes of the module path, terminator included
constexpr size_t kValueSize = 260;  // characters of a prepared value, terminator not counted

// The data a row writes: the module path for "%module%", the module's
// directory and the text after the last "%" for "%modulePath%", else the data
// as it stands. False when the result would be longer than kValueSize.
bool PrepareValue(const char* data, const char* modulePath, char (&out)[kValueSize + 1]) {
    const char* source = data;
    size_t directoryLength = 0;
    if (std::strstr(data, QV_MARKER_MODULE)) {
        source = modulePath;
    } else if (std::strstr(data, QV_MARKER_MODULE_PATH)) {
        const char* separator = std::strrchr(modulePath, qv::kPathSeparator);
        directoryLength = separator ? static_cast<size_t>(separator - modulePath) + 1 : 0;
        source = std::strrchr(data, '%') + 1;
    }
    size_t tailLength = std::strlen(source);
    if (directoryLength + tailLength > kValueSize) return false;
    std::memcpy(out, modulePath, directoryLength);
    std::memcpy(out + directoryLength, source, tailLength + 1);
    return true;
}

// Creates or opens the row's key and sets its value; false when either fails.
bool WriteRow(const RegistrationRow& row, const char* modulePath) {
    char value[kValueSize + 1];
    if (!PrepareValue(row.valueData, modulePath, value)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(row.hive, row.keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG set = RegSetValueExA(key, row.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

QV_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    char modulePath[kPathSize];
    DWORD length = qv::ModuleFileName(qv::ModuleHandle(), modulePath, sizeof modulePath);
    // A path that filled the buffer was cut short.
    if (length == 0 || length >= sizeof modulePath) return E_FAIL;

    // Other processes see the whole registration or none of it (where the
    // platform's registry can promise that).
    qv::RegistryTransaction transaction;
    DllUnregisterServer();  // start clean; what it finds absent does not matter
    for (const RegistrationRow& row : kRegistrationTable) {
        if (!WriteRow(row, modulePath)) {
            // Leave nothing half-registered, rows that were there before included.
            DllUnregisterServer();
            return E_FAIL;
        }
    }
    return S_OK;
}

QV_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    qv::RegistryTransaction transaction;
    int failures = 0;
    // Last to first, so that every subkey goes before its parent; deleting a
    // key removes its values with it.
    for (int i = kRegistrationRowCount - 1; i >= 0; --i) {
        LONG result = RegDeleteKeyA(kRegistrationTable[i].hive, kRegistrationTable[i].keyPath);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) ++failures;
    }
    return failures ? E_FAIL : S_OK;
}

}  // extern "C"
