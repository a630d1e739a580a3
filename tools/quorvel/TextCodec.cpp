// UTF-8, UTF-16 and the system's narrow text.
#include "TextCodec.h"

#include "platform/TextConversion.h"
#include "platform/Utf8.h"

namespace quorvel {

std::string Utf8FromWide(const OLECHAR* text, size_t length) { return qv::Utf8FromWide(text, length); }

Wide WideFromUtf8(const std::string& text) { return qv::WideFromUtf8(text.data(), text.size()); }

std::string NarrowFromWide(const OLECHAR* text, size_t length) {
    if (length == 0) return std::string();
    int size = qv::NarrowFromWide(text, static_cast<int>(length), nullptr, 0);
    std::string out(static_cast<size_t>(size), '\0');
    if (size > 0) qv::NarrowFromWide(text, static_cast<int>(length), &out[0], size);
    return out;
}

Wide WideFromNarrow(const std::string& text) {
    if (text.empty()) return Wide();
    int size = qv::WideFromNarrow(text.data(), static_cast<int>(text.size()), nullptr, 0);
    Wide out(static_cast<size_t>(size), 0);
    if (size > 0) qv::WideFromNarrow(text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

size_t NarrowValidLength(const std::string& text) { return qv::NarrowValidLength(text.data(), text.size()); }

std::string NarrowEncodingName() { return qv::NarrowEncodingName(); }

BSTR NewBstr(const Wide& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

}  // namespace quorvel
