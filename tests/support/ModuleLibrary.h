// Loads the built library itself, as a host would, rather than the objects
// linked into the test program, and finds its exports.
#pragma once

#include <string>

#include "platform/Platform.h"

#ifdef _WIN32
#include "platform/Sdk.h"
#else
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#endif

namespace qvtest {

class ModuleLibrary {
public:
    explicit ModuleLibrary(const std::string& path) {
#ifdef _WIN32
        handle_ = LoadLibraryA(path.c_str());
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~ModuleLibrary() {
        if (!handle_) return;
#ifdef _WIN32
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }

    template <class Function>
    Function Get(const char* name) const {
        if (!handle_) return nullptr;  // dlsym would search every loaded module
#ifdef _WIN32
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
#else
        return reinterpret_cast<Function>(dlsym(handle_, name));
#endif
    }

    // The full path the system loaded the library from.
    std::string FileName() const {
#ifdef _WIN32
        char buffer[MAX_PATH];
        DWORD length = GetModuleFileNameA(handle_, buffer, MAX_PATH);
        return std::string(buffer, length);
#else
        Dl_info info;
        void* symbol = dlsym(handle_, "DllMain");
        char resolved[PATH_MAX];
        if (!symbol || !dladdr(symbol, &info) || !realpath(info.dli_fname, resolved)) return std::string();
        return resolved;
#endif
    }

private:
#ifdef _WIN32
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
};

typedef HRESULT(STDAPICALLTYPE* EntryPoint)();
typedef HRESULT(STDAPICALLTYPE* GetClassObjectEntry)(REFCLSID, REFIID, void**);

}  // namespace qvtest
