// Narrow text in the system ANSI code page.
#include "../TextConversion.h"

#include "../Utf8.h"

namespace qv {

int NarrowFromWide(const OLECHAR* text, int length, char* out, int outSize) {
    return WideCharToMultiByte(CP_ACP, 0, text, length, out, outSize, nullptr, nullptr);
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
