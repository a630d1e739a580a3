// The registry on Linux: the HKEY_CLASSES_ROOT keys live in a REGEDIT4 text
// file, at $QUORVEL_REGISTRY, else $XDG_DATA_HOME/quorvel/classes.reg, else
// ~/.local/share/quorvel/classes.reg. The functions keep the Win32 names,
// arguments and result codes. Every change is made under an exclusive lock of
// the file (shared between processes) and written by replacing the file
// whole, so readers never see half a file and writers never lose each other's
// changes.
#pragma once

#include "ComBase.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The only hive this registry holds.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MORE_DATA 234L
#define ERROR_BADDB 1009L
#define ERROR_KEY_DELETED 1018L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// Creates the key (and any missing key above it) or opens it. subKey may be
// null or empty (a new handle to hKey itself). ERROR_BAD_PATHNAME for an empty
// path component; ERROR_KEY_DELETED when hKey's key is gone.
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                        const LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Sets a value (null or empty name: the key's default value) to dataSize
// bytes of data; REG_SZ data is stored as given, terminator included.
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
// Reads a value: with null data only its size; ERROR_MORE_DATA, and the size
// needed, when dataSize is too small; ERROR_FILE_NOT_FOUND when it is absent.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegCloseKey(HKEY hKey);
// Deletes a key and its values. ERROR_FILE_NOT_FOUND when it does not exist,
// ERROR_ACCESS_DENIED while it still has subkeys.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR subKey);

namespace qv {

// Holds the registry file's exclusive lock for its life, so that a sequence of
// operations (a whole registration) reaches other processes at once or not at
// all. Transactions nest, also inside one thread; other threads of the process
// wait for the outermost to end. When the lock cannot be taken, the operations
// inside report the failure.
class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;
};

}  // namespace qv
