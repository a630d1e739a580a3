// The provider host on Linux: the registry file walked with the registry
// functions, the library loaded with dlopen.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>

#include "ProviderHost.h"
#include "platform/Registry.h"

namespace quorvel {
namespace {

const HRESULT kClassString = MAKE_HRESULT_VALUE(0x800401F3);   // CO_E_CLASSSTRING
const HRESULT kClassNotReg = MAKE_HRESULT_VALUE(0x80040154);   // REGDB_E_CLASSNOTREG
const HRESULT kReadRegistry = MAKE_HRESULT_VALUE(0x80040150);  // REGDB_E_READREGDB
const HRESULT kDllNotFound = MAKE_HRESULT_VALUE(0x800401F8);   // CO_E_DLLNOTFOUND
const HRESULT kErrorInDll = MAKE_HRESULT_VALUE(0x800401F9);    // CO_E_ERRORINDLL

typedef HRESULT (*GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT (*EntryFunction)();

// The default value of a key below HKEY_CLASSES_ROOT: ERROR_SUCCESS or the
// registry's result.
LONG ReadDefault(const std::string& keyPath, std::string& value) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) return result;
    DWORD size = 0, type = 0;
    result = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS && type != REG_SZ) result = ERROR_FILE_NOT_FOUND;
    if (result == ERROR_SUCCESS) {
        value.assign(size, '\0');
        result = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(&value[0]), &size);
        value.resize(size);
        while (!value.empty() && value.back() == '\0') value.pop_back();
    }
    RegCloseKey(key);
    return result;
}

// A missing key or value is the given "not registered" result; anything
// else is a registry that cannot be read.
HRESULT Lookup(const std::string& keyPath, HRESULT missing, std::string& value, std::string& detail) {
    LONG result = ReadDefault(keyPath, value);
    if (result == ERROR_SUCCESS && !value.empty()) return S_OK;
    detail = "HKEY_CLASSES_ROOT\\" + keyPath;
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? missing : kReadRegistry;
}

bool ParseHex(const std::string& text, size_t pos, size_t digits, uint64_t& out) {
    out = 0;
    for (size_t i = pos; i < pos + digits; ++i) {
        char c = text[i];
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        out = out * 16 + static_cast<uint64_t>(d);
    }
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as a GUID.
bool ParseClsid(const std::string& text, CLSID& clsid) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    uint64_t part;
    if (!ParseHex(text, 1, 8, part)) return false;
    clsid.Data1 = static_cast<uint32_t>(part);
    if (!ParseHex(text, 10, 4, part)) return false;
    clsid.Data2 = static_cast<uint16_t>(part);
    if (!ParseHex(text, 15, 4, part)) return false;
    clsid.Data3 = static_cast<uint16_t>(part);
    static const size_t kBytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(text, kBytes[i], 2, part)) return false;
        clsid.Data4[i] = static_cast<uint8_t>(part);
    }
    return true;
}

}  // namespace

ProviderHost::ProviderHost() {}

ProviderHost::~ProviderHost() { Close(); }

HRESULT ProviderHost::Open(const std::string& progId, std::string& detail) {
    std::string providerClsid, dataProgId, dataClsidText, libraryPath;
    HRESULT hr = Lookup(progId + "\\CLSID", kClassString, providerClsid, detail);
    if (SUCCEEDED(hr)) hr = Lookup("CLSID\\" + providerClsid + "\\OSP Data Object", kClassNotReg, dataProgId, detail);
    if (SUCCEEDED(hr)) hr = Lookup(dataProgId + "\\CLSID", kClassString, dataClsidText, detail);
    if (SUCCEEDED(hr)) hr = Lookup("CLSID\\" + dataClsidText + "\\InprocServer32", kClassNotReg, libraryPath, detail);
    if (FAILED(hr)) return hr;
    CLSID dataClsid;
    if (!ParseClsid(dataClsidText, dataClsid)) {
        detail = "HKEY_CLASSES_ROOT\\" + dataProgId + "\\CLSID holds '" + dataClsidText + "'";
        return kClassString;
    }

    library_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* why = dlerror();
        detail = why ? why : libraryPath;
        return kDllNotFound;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(library_, "DllGetClassObject"));
    if (!getClassObject || !dlsym(library_, "DllCanUnloadNow")) {
        detail = libraryPath;
        return kErrorInDll;
    }
    IClassFactory* factory = nullptr;
    hr = getClassObject(dataClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        detail = "DllGetClassObject of " + libraryPath;
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_DataSource, reinterpret_cast<void**>(&source_));
    factory->Release();
    if (FAILED(hr)) {
        source_ = nullptr;
        detail = "IClassFactory::CreateInstance";
    }
    return hr;
}

bool ProviderHost::Close() {
    if (source_) source_->Release();
    source_ = nullptr;
    if (!library_) return true;
    auto canUnloadNow = reinterpret_cast<EntryFunction>(dlsym(library_, "DllCanUnloadNow"));
    if (canUnloadNow && canUnloadNow() != S_OK) return false;
    dlclose(library_);
    library_ = nullptr;
    return true;
}

HRESULT CallRegistration(const std::string& libraryPath, bool install, std::string& detail) {
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        detail = why ? why : libraryPath;
        return kDllNotFound;
    }
    const char* name = install ? "DllRegisterServer" : "DllUnregisterServer";
    auto entry = reinterpret_cast<EntryFunction>(dlsym(library, name));
    if (!entry) {
        detail = std::string(name) + " in " + libraryPath;
        dlclose(library);
        return kErrorInDll;
    }
    HRESULT hr = entry();
    dlclose(library);
    return hr;
}

std::string DefaultLibraryPath() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "Quorvel.so";
    std::string path(self, static_cast<size_t>(length));
    std::string folder = path.substr(0, path.rfind('/') + 1);
    // In a build tree the library lies beside the program; installed, in a
    // folder of its own (QUORVEL_INSTALLED_LIBRARY, relative to the program's).
    std::string beside = folder + "Quorvel.so";
    std::string installed = folder + QUORVEL_INSTALLED_LIBRARY;
    return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed : beside;
}

}  // namespace quorvel
