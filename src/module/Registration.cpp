// DllRegisterServer and DllUnregisterServer: the registration table written
// first to last, and its keys deleted last to first.
#include <algorithm>
#include <cstring>
#include <string>

#include "Exports.h"
#include "ModuleCounts.h"
#include "RegistrationTable.h"
#include "platform/ModulePath.h"

namespace {

typedef qv::PathChar PathChar;

constexpr size_t kPathSize = 260;   // characters of the module path, terminator included
constexpr size_t kValueSize = 260;  // characters of a prepared value, terminator not counted

size_t Length(const PathChar* text) { return std::char_traits<PathChar>::length(text); }

// The data a row writes, in the spelling of module paths (UTF-16 on Windows,
// so that a folder outside the code page is written as it is): the module
// path for "%module%", the module's directory and the text after the last
// "%" for "%modulePath%", a library of the platform for "%sharedLibrary%"
// (see PrepareSharedLibrary), else the data as it stands. The table's own
// texts are ASCII. False when the result would be longer than kValueSize.
bool PrepareValue(const char* data, const PathChar* modulePath, PathChar (&out)[kValueSize + 1]);

// "%sharedLibrary%FOLDER%NAME": the NAME beside this library when it lies
// there, else the platform's copy of FOLDER NAME when it keeps one, else the
// NAME beside this library all the same. A client that opens the provider
// then finds a server that exists wherever one does.
bool PrepareSharedLibrary(const char* data, const PathChar* modulePath, PathChar (&out)[kValueSize + 1]) {
    const char* folder = data + std::strlen(QV_MARKER_SHARED_LIBRARY);
    const char* name = std::strrchr(data, '%') + 1;
    char besideData[kValueSize + 1] = QV_MARKER_MODULE_PATH;
    size_t markerLength = std::strlen(besideData);
    if (markerLength + std::strlen(name) > kValueSize) return false;
    std::strcpy(besideData + markerLength, name);
    bool beside = PrepareValue(besideData, modulePath, out);
    if (beside && qv::FileExists(out)) return true;

    char relative[kValueSize + 1];
    size_t folderLength = static_cast<size_t>(name - 1 - folder);
    if (folderLength + std::strlen(name) <= kValueSize) {
        std::memcpy(relative, folder, folderLength);
        std::strcpy(relative + folderLength, name);
        PathChar shared[kValueSize + 1];
        DWORD length = qv::SharedLibraryPath(relative, shared, kValueSize + 1);
        if (length > 0 && length <= kValueSize) {
            std::copy(shared, shared + length + 1, out);
            return true;
        }
    }
    return beside;
}

bool PrepareValue(const char* data, const PathChar* modulePath, PathChar (&out)[kValueSize + 1]) {
    if (std::strstr(data, QV_MARKER_SHARED_LIBRARY)) return PrepareSharedLibrary(data, modulePath, out);
    if (std::strstr(data, QV_MARKER_MODULE)) {
        size_t length = Length(modulePath);
        if (length > kValueSize) return false;
        std::copy(modulePath, modulePath + length + 1, out);
        return true;
    }
    size_t directoryLength = 0;
    const char* text = data;
    if (std::strstr(data, QV_MARKER_MODULE_PATH)) {
        for (size_t i = 0; modulePath[i]; ++i)
            if (modulePath[i] == static_cast<PathChar>(qv::kPathSeparator)) directoryLength = i + 1;
        text = std::strrchr(data, '%') + 1;
    }
    size_t textLength = std::strlen(text);
    if (directoryLength + textLength > kValueSize) return false;
    std::copy(modulePath, modulePath + directoryLength, out);
    for (size_t i = 0; i <= textLength; ++i) out[directoryLength + i] = static_cast<PathChar>(text[i]);
    return true;
}

// Creates or opens the row's key and sets its value; false when either fails.
bool WriteRow(const RegistrationRow& row, const PathChar* modulePath) {
    PathChar value[kValueSize + 1];
    if (!PrepareValue(row.valueData, modulePath, value)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(row.hive, row.keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG set = qv::SetRegistryText(key, row.valueName, value);
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

QV_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    PathChar modulePath[kPathSize];
    DWORD length = qv::ModuleFileName(qv::ModuleHandle(), modulePath, kPathSize);
    // A path that filled the buffer was cut short.
    if (length == 0 || length >= kPathSize) return E_FAIL;

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
