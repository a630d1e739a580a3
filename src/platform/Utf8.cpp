// The UTF-8 codec.
#include "Utf8.h"

#include <cstdint>

namespace qv {
namespace {

// The code point whose encoding starts at bytes[i]: the encoding's length, or
// 0 for bytes that are no (shortest, in-range, non-surrogate) encoding.
size_t DecodeOne(const unsigned char* bytes, size_t i, size_t count, uint32_t& cp) {
    unsigned lead = bytes[i];
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= count) return 0;
    cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    for (int k = 1; k <= extra; ++k) {
        unsigned next = bytes[i + static_cast<size_t>(k)];
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return static_cast<size_t>(extra) + 1;
}

}  // namespace

std::string Utf8FromWide(const OLECHAR* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::basic_string<OLECHAR> WideFromUtf8(const char* text, size_t count) {
    std::basic_string<OLECHAR> out;
    for (size_t i = 0; i < count;) {
        uint32_t cp = 0;
        size_t size = DecodeOne(reinterpret_cast<const unsigned char*>(text), i, count, cp);
        if (size == 0) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<OLECHAR>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<OLECHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<OLECHAR>(cp));
        }
        i += size;
    }
    return out;
}

size_t Utf8ValidLength(const char* text, size_t count) {
    size_t i = 0;
    uint32_t cp = 0;
    for (size_t size; i < count && (size = DecodeOne(reinterpret_cast<const unsigned char*>(text), i, count, cp));)
        i += size;
    return i;
}

}  // namespace qv
