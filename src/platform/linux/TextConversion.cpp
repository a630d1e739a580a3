// Narrow text as UTF-8.
#include "../TextConversion.h"

#include <string>

#include "../WideString.h"

namespace qv {
namespace {

// Appends one code point as UTF-8; a lone surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
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

template <class Unit>
int Deliver(const std::basic_string<Unit>& converted, Unit* out, int outSize) {
    int needed = static_cast<int>(converted.size());
    if (outSize == 0) return needed;
    if (!out || needed > outSize) return 0;
    for (int i = 0; i < needed; ++i) out[i] = converted[static_cast<size_t>(i)];
    return needed;
}

}  // namespace

int NarrowFromWide(const OLECHAR* text, int length, char* out, int outSize) {
    if (!text || outSize < 0) return 0;
    size_t count = length < 0 ? WideLength(text) + 1 : static_cast<size_t>(length);
    std::string converted;
    for (size_t i = 0; i < count; ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        AppendUtf8(converted, unit);
    }
    return Deliver(converted, out, outSize);
}

int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize) {
    if (!text || outSize < 0) return 0;
    size_t count = length < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::basic_string<OLECHAR> converted;
    for (size_t i = 0; i < count;) {
        unsigned lead = bytes[i];
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        uint32_t cp = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = extra >= 0 && i + static_cast<size_t>(extra) < count;
        for (int k = 1; valid && k <= extra; ++k) {
            unsigned next = bytes[i + static_cast<size_t>(k)];
            if ((next & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (!valid) {
            converted.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            converted.push_back(static_cast<OLECHAR>(0xD800 + ((cp - 0x10000) >> 10)));
            converted.push_back(static_cast<OLECHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            converted.push_back(static_cast<OLECHAR>(cp));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return Deliver(converted, out, outSize);
}

}  // namespace qv
