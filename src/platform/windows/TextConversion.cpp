// Narrow text in the system ANSI code page.
#include "../TextConversion.h"

namespace qv {

int NarrowFromWide(const OLECHAR* text, int length, char* out, int outSize) {
    return WideCharToMultiByte(CP_ACP, 0, text, length, out, outSize, nullptr, nullptr);
}

int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize) {
    return MultiByteToWideChar(CP_ACP, 0, text, length, out, outSize);
}

}  // namespace qv
