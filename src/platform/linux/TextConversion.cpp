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

int WideFromNarrow(const char* text, int length, OLECHAR* out, int outSize) {
    if (!text || outSize < 0) return 0;
    size_t count = length < 0 ? std::char_traits<char>::length(text) + 1 : static_cast<size_t>(length);
    return Deliver(WideFromUtf8(text, count), out, outSize);
}

size_t NarrowValidLength(const char* text, size_t length) { return Utf8ValidLength(text, length); }

std::string NarrowEncodingName() { return "UTF-8"; }

}  // namespace qv
