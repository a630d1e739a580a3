// The provider host on Windows: real COM finds and loads the library
// (CLSIDFromProgID, CoCreateInstance); the registry gives the provider's
// "OSP Data Object".
#include <string>

#include "ProviderHost.h"
#include "TextCodec.h"

namespace quorvel {
namespace {

const HRESULT kClassNotReg = static_cast<HRESULT>(0x80040154u);  // REGDB_E_CLASSNOTREG

// The default value of a key below HKEY_CLASSES_ROOT.
LONG ReadDefault(const std::wstring& keyPath, std::wstring& value) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) return result;
    wchar_t buffer[1024];
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    result = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ) return ERROR_FILE_NOT_FOUND;
    buffer[size / sizeof(wchar_t)] = 0;
    value = buffer;
    return ERROR_SUCCESS;
}

std::string Narrow(const std::wstring& text) { return NarrowFromWide(text.c_str(), text.size()); }

// The library beside the host, as the system spells its path.
std::wstring LibraryBesideHost() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return path.substr(0, path.rfind(L'\\') + 1) + L"Quorvel.dll";
}

}  // namespace

ProviderHost::ProviderHost() {}

ProviderHost::~ProviderHost() { Close(); }

HRESULT ProviderHost::Open(const std::string& progId, std::string& detail) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        detail = "CoInitializeEx";
        return hr;
    }
    comStarted_ = true;

    Wide wideProgId = WideFromNarrow(progId);
    CLSID provider;
    hr = CLSIDFromProgID(wideProgId.c_str(), &provider);
    if (FAILED(hr)) {
        detail = "HKEY_CLASSES_ROOT\\" + progId + "\\CLSID";
        return hr;
    }
    wchar_t providerText[40];
    StringFromGUID2(provider, providerText, 40);
    std::wstring dataObjectKey = std::wstring(L"CLSID\\") + providerText + L"\\OSP Data Object";
    std::wstring dataProgId;
    if (ReadDefault(dataObjectKey, dataProgId) != ERROR_SUCCESS || dataProgId.empty()) {
        detail = "HKEY_CLASSES_ROOT\\" + Narrow(dataObjectKey);
        return kClassNotReg;
    }
    CLSID dataObject;
    hr = CLSIDFromProgID(dataProgId.c_str(), &dataObject);
    if (FAILED(hr)) {
        detail = "HKEY_CLASSES_ROOT\\" + Narrow(dataProgId) + "\\CLSID";
        return hr;
    }
    hr =
        CoCreateInstance(dataObject, nullptr, CLSCTX_INPROC_SERVER, IID_DataSource, reinterpret_cast<void**>(&source_));
    if (FAILED(hr)) {
        source_ = nullptr;
        detail = "CoCreateInstance of " + Narrow(dataProgId);
    }
    return hr;
}

bool ProviderHost::Close() {
    if (source_) source_->Release();
    source_ = nullptr;
    if (comStarted_) {
        // COM asks DllCanUnloadNow and unloads only on S_OK.
        CoFreeUnusedLibrariesEx(0, 0);
        CoUninitialize();
        comStarted_ = false;
    }
    (void)library_;
    return true;
}

HRESULT CallRegistration(const std::string& libraryPath, bool install, std::string& detail) {
    // The default library is loaded by its wide name: its narrow one is bent
    // where the code page lacks a letter of its folder.
    Wide wide = libraryPath == DefaultLibraryPath() ? LibraryBesideHost() : WideFromNarrow(libraryPath);
    HMODULE library = LoadLibraryW(wide.c_str());
    if (!library) {
        detail = libraryPath;
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const char* name = install ? "DllRegisterServer" : "DllUnregisterServer";
    typedef HRESULT(STDAPICALLTYPE * EntryFunction)();
    auto entry = reinterpret_cast<EntryFunction>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (!entry) {
        detail = std::string(name) + " in " + libraryPath;
        FreeLibrary(library);
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    HRESULT hr = entry();
    FreeLibrary(library);
    return hr;
}

std::string DefaultLibraryPath() { return Narrow(LibraryBesideHost()); }

}  // namespace quorvel
