// Environment overrides that last for a scope.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Platform.h"

namespace qvtest {

namespace fs = std::filesystem;

// Sets an environment variable for the life of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        Set(value.c_str());
    }
    ~ScopedEnv() { Set(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Set(const char* value) {
#ifdef _WIN32
        _putenv((name_ + "=" + (value ? value : "")).c_str());
        SetEnvironmentVariableA(name_.c_str(), value);
#else
        if (value)
            setenv(name_.c_str(), value, 1);
        else
            unsetenv(name_.c_str());
#endif
    }
    std::string name_, old_;
    bool hadOld_ = false;
};

#ifdef _WIN32
// Sets an environment variable by its wide value, which the code page may
// lack, for the life of a scope.
class ScopedWideEnv {
public:
    ScopedWideEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        hadOld_ = size > 0;
        if (hadOld_) {
            old_.resize(size);
            old_.resize(GetEnvironmentVariableW(name, &old_[0], size));
        }
        Set(value.c_str());
    }
    ~ScopedWideEnv() { Set(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Set(const wchar_t* value) {
        _wputenv((name_ + L"=" + (value ? value : L"")).c_str());
        SetEnvironmentVariableW(name_.c_str(), value);
    }
    std::wstring name_, old_;
    bool hadOld_ = false;
};
#endif

// Points the temporary directory of saves at folder for the life of a scope.
class ScopedTempDirectory {
public:
#ifdef _WIN32
    explicit ScopedTempDirectory(const fs::path& folder)
        : tmp_(L"TMP", folder.wstring() + L"\\"), temp_(L"TEMP", folder.wstring() + L"\\") {}

private:
    ScopedWideEnv tmp_, temp_;
#else
    explicit ScopedTempDirectory(const fs::path& folder)
        : tmp_("TMPDIR", folder.string()), temp_("TMP", folder.string()) {}

private:
    ScopedEnv tmp_, temp_;
#endif
};

}  // namespace qvtest
