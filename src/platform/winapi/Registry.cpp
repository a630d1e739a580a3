// The Win32 registry functions on Linux over the REGEDIT4 file.
#include "Registry.h"

#include <cstring>
#include <new>

#include "../Alloc.h"
#include "RegistryStore.h"

// An open key: the path of the key below the hive. The key itself may be
// deleted while the handle is open; operations then say ERROR_KEY_DELETED.
struct HKEY__ {
    uint32_t magic;
    qv::registry::Path path;
};

namespace {

using qv::registry::Key;
using qv::registry::Path;
using qv::registry::Session;
using qv::registry::Tree;

const uint32_t kHandleMagic = 0x5176526B;  // "QvRk"

bool IsPredefined(HKEY key) {
    uintptr_t value = reinterpret_cast<uintptr_t>(key);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

// The path of the key hKey stands for.
LONG BasePath(HKEY hKey, Path& path) {
    if (hKey == HKEY_CLASSES_ROOT) {
        path.clear();
        return ERROR_SUCCESS;
    }
    if (!hKey || IsPredefined(hKey) || hKey->magic != kHandleMagic) return ERROR_INVALID_HANDLE;
    path = hKey->path;
    return ERROR_SUCCESS;
}

// The full path of subKey below hKey.
LONG FullPath(HKEY hKey, LPCSTR subKey, Path& path) {
    LONG error = BasePath(hKey, path);
    if (error != ERROR_SUCCESS) return error;
    Path below;
    if (!qv::registry::SplitPath(subKey, below)) return ERROR_BAD_PATHNAME;
    path.insert(path.end(), below.begin(), below.end());
    return ERROR_SUCCESS;
}

LONG NewHandle(const Path& path, PHKEY result) {
    HKEY__* handle = qv::NewObject<HKEY__>();
    if (!handle) return ERROR_NOT_ENOUGH_MEMORY;
    try {
        handle->path = path;
    } catch (...) {
        delete handle;
        throw;
    }
    handle->magic = kHandleMagic;
    *result = handle;
    return ERROR_SUCCESS;
}

// Runs an operation, turning a failed allocation inside the standard
// containers into the registry's out-of-memory result.
template <class Operation>
LONG Guarded(Operation operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_BADDB;
    }
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM, const LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    if (options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        Path base, path;
        LONG error = BasePath(hKey, base);
        if (error == ERROR_SUCCESS) error = FullPath(hKey, subKey, path);
        if (error != ERROR_SUCCESS) return error;
        Session session(true);
        Tree* tree;
        if ((error = session.Open(tree)) != ERROR_SUCCESS) return error;
        if (!tree->Find(base)) return ERROR_KEY_DELETED;
        // The handle comes first, so that a failure leaves no new key behind.
        HKEY handle = nullptr;
        if ((error = NewHandle(path, &handle)) != ERROR_SUCCESS) return error;
        bool created = false;
        try {
            tree->Create(path, created);
            if (created) error = session.Commit();
        } catch (...) {
            RegCloseKey(handle);
            throw;
        }
        if (error != ERROR_SUCCESS) {
            RegCloseKey(handle);
            return error;
        }
        *result = handle;
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        Path path;
        LONG error = FullPath(hKey, subKey, path);
        if (error != ERROR_SUCCESS) return error;
        Session session(false);
        Tree* tree;
        if ((error = session.Open(tree)) != ERROR_SUCCESS) return error;
        if (!tree->Find(path)) return ERROR_FILE_NOT_FOUND;
        return NewHandle(path, result);
    });
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        Path path;
        LONG error = BasePath(hKey, path);
        if (error != ERROR_SUCCESS) return error;
        std::string name = valueName ? valueName : "";
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F) return ERROR_INVALID_PARAMETER;
        Session session(true);
        Tree* tree;
        if ((error = session.Open(tree)) != ERROR_SUCCESS) return error;
        Key* key = tree->Find(path);
        if (!key) return ERROR_KEY_DELETED;
        std::string bytes(reinterpret_cast<const char*>(data), dataSize);
        if (qv::registry::Value* value = key->FindValue(name)) {
            value->type = type;
            value->data = bytes;
        } else {
            qv::registry::Value fresh;
            fresh.name = name;
            fresh.type = type;
            fresh.data = bytes;
            key->values.push_back(fresh);
        }
        return session.Commit();
    });
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        Path path;
        LONG error = BasePath(hKey, path);
        if (error != ERROR_SUCCESS) return error;
        Session session(false);
        Tree* tree;
        if ((error = session.Open(tree)) != ERROR_SUCCESS) return error;
        Key* key = tree->Find(path);
        if (!key) return ERROR_KEY_DELETED;
        qv::registry::Value* value = key->FindValue(valueName ? valueName : "");
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (type) *type = value->type;
        DWORD size = static_cast<DWORD>(value->data.size());
        if (!data) {
            if (dataSize) *dataSize = size;
            return ERROR_SUCCESS;
        }
        DWORD room = *dataSize;
        *dataSize = size;
        if (room < size) return ERROR_MORE_DATA;
        std::memcpy(data, value->data.data(), size);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    if (!hKey || IsPredefined(hKey) || hKey->magic != kHandleMagic) return ERROR_INVALID_HANDLE;
    hKey->magic = 0;
    delete hKey;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        Path base, path;
        LONG error = BasePath(hKey, base);
        if (error == ERROR_SUCCESS) error = FullPath(hKey, subKey, path);
        if (error != ERROR_SUCCESS) return error;
        if (path.empty()) return ERROR_ACCESS_DENIED;  // the hive itself
        Session session(true);
        Tree* tree;
        if ((error = session.Open(tree)) != ERROR_SUCCESS) return error;
        if (!tree->Find(base)) return ERROR_KEY_DELETED;
        Key* key = tree->Find(path);
        if (!key) return ERROR_FILE_NOT_FOUND;
        if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
        tree->Remove(path);
        return session.Commit();
    });
}
