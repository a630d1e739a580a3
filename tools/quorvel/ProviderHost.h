// Stands where the platform's simple-provider layer stands: follows the
// registry from a provider's programmatic identifier to the data-object
// class, loads the library that serves it and creates a data source; at the
// end releases everything and lets the library go once it says it may.
// ProviderHostLinux.cpp (dlopen) and ProviderHostWindows.cpp (COM) implement it.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace quorvel {

class ProviderHost {
public:
    ProviderHost();
    ~ProviderHost();  // Close()
    ProviderHost(const ProviderHost&) = delete;
    ProviderHost& operator=(const ProviderHost&) = delete;

    // Provider ProgID -> CLSID -> "OSP Data Object" -> data-object ProgID ->
    // CLSID -> in-process server; then a data source from its class factory.
    // On failure the HRESULT, and detail says which step failed.
    HRESULT Open(const std::string& progId, std::string& detail);
    // The data source; valid between a successful Open and Close.
    DataSource* Source() const { return source_; }
    // Releases the data source and unloads the library when it can unload.
    // False when the library said it is still in use (it then stays loaded).
    bool Close();

private:
    DataSource* source_ = nullptr;
    void* library_ = nullptr;  // Linux: the dlopen handle
    bool comStarted_ = false;  // Windows: CoInitializeEx succeeded
};

// Loads the library and calls its DllRegisterServer (install) or
// DllUnregisterServer; detail names a failure to load.
HRESULT CallRegistration(const std::string& libraryPath, bool install, std::string& detail);

// The provider library beside this program, or where the install put it.
std::string DefaultLibraryPath();

}  // namespace quorvel
