// Narrow text as UTF-8.
#include "../TextConversion.h"

#include <string>

#include "../Utf8.h"
#include "../WideString.h"

namespace qv {
namespace {

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
    return Deliver(Utf8FromWide(text, count), out, outSize);
}

// UTF-8 holds every character; only a surrogate without its other half has
// no form in it (Utf8FromWide would write U+FFFD in its place).
int NarrowFromWideExact(const OLECHAR* text, int length, char* out, int outSize) {
    if (!text || outSize < 0) return 0;
    size_t count = length < 0 ? WideLength(text) + 1 : static_cast<size_t>(length);
    for (size_t i = 0; i < count; ++i) {
        bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF, low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (high && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return 0;
        }
    }
    return NarrowFromWide(text, length, out, outSize);
}

int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize) {
    if (!text || outSize < 0) return 0;
    size_t count = length < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(length);
    return Deliver(WideFromUtf8(text, count), out, outSize);
}

size_t NarrowValidLength(const char* text, size_t length) { return Utf8ValidLength(text, length); }

std::string NarrowEncodingName() { return "UTF-8"; }

}  // namespace qv
