// Narrow text in the system ANSI code page.
#include "../TextConversion.h"

#include <cwchar>
#include <string>

#include "../Utf8.h"

namespace qv {

int NarrowFromWide(const OLECHAR* text, int length, char* out, int outSize) {
    return WideCharToMultiByte(CP_ACP, 0, text, length, out, outSize, nullptr, nullptr);
}

namespace {

// For the code pages that take no flags (UTF-7, the ISO-2022 family and the
// like): the text is held exactly when its bytes decode back to it.
int RoundTrip(UINT page, const OLECHAR* text, int length, char* out, int outSize) {
    int bytes = WideCharToMultiByte(page, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return 0;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(page, 0, text, length, &narrow[0], bytes, nullptr, nullptr) != bytes) return 0;
    int units = MultiByteToWideChar(page, 0, narrow.data(), bytes, nullptr, 0);
    std::wstring back(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units <= 0 || MultiByteToWideChar(page, 0, narrow.data(), bytes, &back[0], units) != units) return 0;
    size_t count = length < 0 ? wcslen(text) + 1 : static_cast<size_t>(length);
    if (back.size() != count || back.compare(0, count, text, count) != 0) return 0;
    if (outSize == 0) return bytes;
    if (!out || bytes > outSize) return 0;
    narrow.copy(out, narrow.size());
    return bytes;
}

}  // namespace

int NarrowFromWideExact(const OLECHAR* text, int length, char* out, int outSize) {
    UINT page = GetACP();
    // UTF-8 has no default character; it only refuses a lone surrogate, when told to.
    if (page == CP_UTF8)
        return WideCharToMultiByte(page, WC_ERR_INVALID_CHARS, text, length, out, outSize, nullptr, nullptr);
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text, length, out, outSize, nullptr, &usedDefault);
    if (bytes == 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER))
        return RoundTrip(page, text, length, out, outSize);
    return usedDefault ? 0 : bytes;
}

int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize) {
    return MultiByteToWideChar(CP_ACP, 0, text, length, out, outSize);
}

// Character by character, since MultiByteToWideChar says that something
// did not decode but not where.
size_t NarrowValidLength(const char* text, size_t length) {
    UINT page = GetACP();
    if (page == CP_UTF8) return Utf8ValidLength(text, length);
    size_t i = 0;
    while (i < length) {
        size_t size = IsDBCSLeadByteEx(page, static_cast<BYTE>(text[i])) ? 2 : 1;
        if (i + size > length ||
            MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text + i, static_cast<int>(size), nullptr, 0) == 0)
            break;
        i += size;
    }
    return i;
}

std::string NarrowEncodingName() { return "code page " + std::to_string(GetACP()); }

}  // namespace qv
