// BoundPath over GetFullPathNameW and GetFinalPathNameByHandleW: the UTF-16
// name, completed from the current folder, with links followed to their file.
#include "../BoundPath.h"

#include <string.h>

#include "../Alloc.h"

namespace qv {
namespace {

const wchar_t kLongPrefix[] = L"\\\\?\\";
const size_t kLongPrefixLength = 4;

// A heap copy of length characters of text with the prefix in front; null
// when there is no memory.
wchar_t* Join(const wchar_t* prefix, size_t prefixLength, const wchar_t* text, size_t length) {
    auto* out = static_cast<wchar_t*>(MemAlloc((prefixLength + length + 1) * sizeof(wchar_t)));
    if (!out) return nullptr;
    memcpy(out, prefix, prefixLength * sizeof(wchar_t));
    memcpy(out + prefixLength, text, length * sizeof(wchar_t));
    out[prefixLength + length] = 0;
    return out;
}

// The final name in the spelling every file call takes: "\\?\" only where
// the name is too long to go without it.
wchar_t* Spelled(const wchar_t* name) {
    size_t length = wcslen(name);
    bool prefixed = length >= kLongPrefixLength && memcmp(name, kLongPrefix, sizeof(wchar_t) * 4) == 0;
    const wchar_t* rest = prefixed ? name + kLongPrefixLength : name;
    size_t restLength = length - (prefixed ? kLongPrefixLength : 0);
    bool unc = _wcsnicmp(rest, L"UNC\\", 4) == 0;
    // The temporary file made beside the data file must fit as well.
    size_t plainLength = unc ? restLength - 2 : restLength;
    if (plainLength < MAX_PATH - 16) {
        if (unc) return Join(L"\\\\", 2, rest + 4, restLength - 4);
        if (restLength >= 3 && rest[1] == L':' && rest[2] == L'\\') return Join(L"", 0, rest, restLength);
        if (!prefixed) return Join(L"", 0, rest, restLength);
    }
    if (prefixed) return Join(L"", 0, name, length);
    if (rest[0] == L'\\' && rest[1] == L'\\') return Join(L"\\\\?\\UNC\\", 8, rest + 2, restLength - 2);
    return Join(kLongPrefix, kLongPrefixLength, rest, restLength);
}

}  // namespace

BoundPath::Outcome BoundPath::Bind(const OLECHAR* name) {
    Clear();
    if (!name || !*name) return kNoFile;
    DWORD size = GetFullPathNameW(name, 0, nullptr, nullptr);
    if (size == 0) return kNoFile;
    auto* full = static_cast<wchar_t*>(MemAlloc(size * sizeof(wchar_t)));
    if (!full) return kNoMemory;
    DWORD length = GetFullPathNameW(name, size, full, nullptr);
    wchar_t* spelled = length > 0 && length < size ? Spelled(full) : nullptr;
    MemFree(full);
    if (!spelled) return length > 0 && length < size ? kNoMemory : kNoFile;

    // Attribute access opens even a file that another process holds without
    // sharing; a link is followed to the file it leads to.
    HANDLE file = CreateFileW(spelled, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        MemFree(spelled);
        return kNoFile;
    }
    // Where the system cannot say where a link leads, the full name stands.
    DWORD finalSize = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    wchar_t* final = finalSize ? static_cast<wchar_t*>(MemAlloc((finalSize + 1) * sizeof(wchar_t))) : nullptr;
    DWORD finalLength =
        final ? GetFinalPathNameByHandleW(file, final, finalSize + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) : 0;
    CloseHandle(file);
    bool noMemory = finalSize && !final;
    if (final && finalLength > 0 && finalLength <= finalSize) {
        wchar_t* resolved = Spelled(final);
        noMemory = !resolved;
        if (resolved) {
            MemFree(spelled);
            spelled = resolved;
        }
    }
    MemFree(final);
    if (noMemory) {
        MemFree(spelled);
        return kNoMemory;
    }
    path_ = spelled;
    return kBound;
}

void BoundPath::Clear() {
    MemFree(path_);
    path_ = nullptr;
}

}  // namespace qv
