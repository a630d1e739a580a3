// Locale-independent text of scalar VARIANT values.
#include "VariantText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace qv {
namespace {

void Append(WideString& text, const char* ascii, size_t length) {
    for (size_t i = 0; i < length; ++i) text.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(ascii[i])));
}

template <class T>
void AppendNumber(WideString& text, T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Append(text, buffer, static_cast<size_t>(result.ptr - buffer));
}

// Places a decimal point scale digits from the right of a digit string and
// drops the fraction's trailing zeros.
void AppendScaled(WideString& text, bool negative, std::string digits, unsigned scale) {
    while (digits.size() <= scale) digits.insert(digits.begin(), '0');
    std::string whole = digits.substr(0, digits.size() - scale);
    std::string fraction = digits.substr(digits.size() - scale);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string out = (negative && (whole != "0" || !fraction.empty())) ? "-" : "";
    out += whole;
    if (!fraction.empty()) out += "." + fraction;
    Append(text, out.data(), out.size());
}

std::string DecimalDigits(const DECIMAL& value) {
    // The 96-bit magnitude in three 32-bit limbs, most significant first.
    uint32_t limbs[3] = {value.Hi32, value.Mid32, value.Lo32};
    std::string digits;
    do {
        uint64_t remainder = 0;
        for (uint32_t& limb : limbs) {
            uint64_t current = (remainder << 32) | limb;
            limb = static_cast<uint32_t>(current / 10);
            remainder = current % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    } while (limbs[0] || limbs[1] || limbs[2]);
    return digits;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2);
}

bool AppendDate(WideString& text, DATE date) {
    // OLE dates count days from 1899-12-30; the fraction is the time of day,
    // taken as a distance from midnight also for dates before 1899-12-30.
    if (!std::isfinite(date) || std::fabs(date) > 1e7) return false;
    double whole = std::trunc(date);
    int64_t days = static_cast<int64_t>(whole);
    long seconds = std::lround(std::fabs(date - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds = 0;
        days += date < 0 ? -1 : 1;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days - 25569, year, month, day);
    char buffer[64];
    int length =
        seconds == 0
            ? std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(year), month, day)
            : std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02ld:%02ld:%02ld", static_cast<long long>(year),
                            month, day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    Append(text, buffer, static_cast<size_t>(length));
    return true;
}

}  // namespace

bool HasTextForm(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_DECIMAL:
            return true;
        default:
            return false;
    }
}

bool VariantToText(const VARIANT& value, WideString& text) {
    text.clear();
    switch (value.vt) {
        case VT_I1:
            AppendNumber(text, static_cast<int>(value.cVal));
            return true;
        case VT_I2:
            AppendNumber(text, value.iVal);
            return true;
        case VT_I4:
            AppendNumber(text, static_cast<long long>(value.lVal));
            return true;
        case VT_I8:
            AppendNumber(text, static_cast<long long>(value.llVal));
            return true;
        case VT_INT:
            AppendNumber(text, value.intVal);
            return true;
        case VT_UI1:
            AppendNumber(text, static_cast<unsigned>(value.bVal));
            return true;
        case VT_UI2:
            AppendNumber(text, value.uiVal);
            return true;
        case VT_UI4:
            AppendNumber(text, static_cast<unsigned long long>(value.ulVal));
            return true;
        case VT_UI8:
            AppendNumber(text, static_cast<unsigned long long>(value.ullVal));
            return true;
        case VT_UINT:
            AppendNumber(text, value.uintVal);
            return true;
        case VT_R4:
            AppendNumber(text, value.fltVal);
            return true;
        case VT_R8:
            AppendNumber(text, value.dblVal);
            return true;
        case VT_BOOL: {
            const char* word = value.boolVal ? "True" : "False";
            Append(text, word, value.boolVal ? 4 : 5);
            return true;
        }
        case VT_CY: {
            int64_t units = value.cyVal.int64;
            uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
            AppendScaled(text, units < 0, std::to_string(magnitude), 4);
            return true;
        }
        case VT_DECIMAL:
            if (value.decVal.scale > 28) return false;
            AppendScaled(text, (value.decVal.sign & DECIMAL_NEG) != 0, DecimalDigits(value.decVal), value.decVal.scale);
            return true;
        case VT_DATE:
            return AppendDate(text, value.date);
        default:
            return false;
    }
}

}  // namespace qv
