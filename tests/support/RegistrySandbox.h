// A registry of its own for each test: on Linux a fresh registry file named by
// QUORVEL_REGISTRY, on Windows HKEY_CLASSES_ROOT redirected to a scratch key
// below HKEY_CURRENT_USER. Helpers read it back through the Reg* functions.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "Environment.h"
#include "platform/Registry.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/winapi/RegistryTree.h"
#endif

namespace qvtest {

class RegistrySandbox {
public:
    // On Linux the registry file goes in a new folder under base.
    explicit RegistrySandbox(const std::string& base = "/tmp") {
        static std::atomic<int> counter{0};
        std::string unique = std::to_string(getpid()) + "_" + std::to_string(counter++);
#ifdef _WIN32
        keyPath_ = "Software\\QuorvelTests\\sandbox_" + unique;
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        (void)base;
        ok_ = key_ && RegOverridePredefKey(HKEY_CLASSES_ROOT, key_) == ERROR_SUCCESS;
#else
        dir_ = base + "/qv_registry_" + unique;
        std::system(("rm -rf '" + dir_ + "'").c_str());
        path_ = dir_ + "/classes.reg";
        env_.reset(new ScopedEnv("QUORVEL_REGISTRY", path_));
        ok_ = true;
#endif
    }
    ~RegistrySandbox() {
#ifdef _WIN32
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (key_) RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str());
#else
        std::system(("rm -rf '" + dir_ + "'").c_str());
#endif
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    bool Ok() const { return ok_; }
    // Empties the registry again.
    void Clear() {
#ifdef _WIN32
        RegDeleteTreeA(key_, nullptr);
#else
        std::remove(path_.c_str());
#endif
    }
#ifndef _WIN32
    const std::string& FilePath() const { return path_; }
    const std::string& Directory() const { return dir_; }
#endif

    // Every value in the registry as "key path|value name" -> data (a
    // string's terminator dropped); "(default)" names the default value.
    std::map<std::string, std::string> AllValues() const {
        std::map<std::string, std::string> out;
#ifdef _WIN32
        Collect(key_, std::string(), out);
#else
        std::ifstream in(path_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        qv::registry::Tree tree;
        std::string error;
        if (!tree.Parse(text.str(), error)) return {{"<unreadable>", error}};
        Collect(tree.Root(), std::string(), out);
#endif
        return out;
    }

private:
    static std::string Entry(const std::string& path, const std::string& name) {
        return path + "|" + (name.empty() ? "(default)" : name);
    }
    static std::string Data(DWORD type, std::string data) {
        if ((type == REG_SZ || type == REG_EXPAND_SZ) && !data.empty() && data.back() == '\0') data.pop_back();
        return data;
    }
#ifdef _WIN32
    static void Collect(HKEY key, const std::string& path, std::map<std::string, std::string>& out) {
        char name[256];
        BYTE data[1024];
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
            out[Entry(path, name)] = Data(type, std::string(reinterpret_cast<char*>(data), dataSize));
        }
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name;
            if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            HKEY child = nullptr;
            std::string childPath = path.empty() ? std::string(name) : path + "\\" + name;
            if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
            out[Entry(childPath, "") + "<key>"] = "";
            Collect(child, childPath, out);
            RegCloseKey(child);
        }
    }
    HKEY key_ = nullptr;
    std::string keyPath_;
#else
    static void Collect(const qv::registry::Key& key, const std::string& path,
                        std::map<std::string, std::string>& out) {
        for (const qv::registry::Value& value : key.values) out[Entry(path, value.name)] = Data(value.type, value.data);
        for (const auto& entry : key.subkeys) {
            std::string childPath = path.empty() ? entry.second->name : path + "\\" + entry.second->name;
            out[Entry(childPath, "") + "<key>"] = "";
            Collect(*entry.second, childPath, out);
        }
    }
    std::string dir_, path_;
    std::unique_ptr<ScopedEnv> env_;
#endif
    bool ok_ = false;
};

// Reads a string value through the registry functions; the result code.
inline LONG ReadRegistryString(const std::string& keyPath, const char* valueName, std::string& out) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) return result;
    char buffer[1024];
    DWORD size = sizeof buffer, type = 0;
    result = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result == ERROR_SUCCESS) out.assign(buffer, size && buffer[size - 1] == '\0' ? size - 1 : size);
    return result;
}

inline bool RegistryKeyExists(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline LONG CreateRegistryKey(const std::string& keyPath, const char* valueName = nullptr,
                              const std::string& value = std::string()) {
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (!value.empty() || valueName)
        result = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return result;
}

}  // namespace qvtest
