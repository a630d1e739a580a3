// The system default locale's language name on Linux: the English
// "Language (Territory)" from the C library's identification data of the
// locale that the environment names (LC_ALL, LC_IDENTIFICATION, LANG), read
// through a locale object of its own so that the process's locale never changes.
#include "../SystemLocale.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>

namespace qv {
namespace {

const char kCLocaleName[] = "English (United States)";

// True for the C and POSIX locales (C.UTF-8 included), which name no language.
bool IsCLocale(const char* name) {
    return !name || !*name || strcmp(name, "POSIX") == 0 || strcmp(name, "C") == 0 || strncmp(name, "C.", 2) == 0;
}

// Writes the name into text (capacity bytes); false when it does not fit.
bool ComposeName(char* text, size_t capacity) {
    locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
    // A locale the environment names but the system lacks leaves programs in
    // the C locale, so that is what is reported.
    const char* language = nullptr;
    const char* territory = nullptr;
    if (locale && !IsCLocale(nl_langinfo_l(_NL_LOCALE_NAME(LC_IDENTIFICATION), locale))) {
        language = nl_langinfo_l(_NL_IDENTIFICATION_LANGUAGE, locale);
        territory = nl_langinfo_l(_NL_IDENTIFICATION_TERRITORY, locale);
    }
    bool fits;
    if (!language || !*language) {
        fits = sizeof kCLocaleName <= capacity;
        if (fits) memcpy(text, kCLocaleName, sizeof kCLocaleName);
    } else {
        size_t languageLength = strlen(language);
        size_t territoryLength = territory ? strlen(territory) : 0;
        size_t total = languageLength + (territoryLength ? territoryLength + 3 : 0) + 1;
        fits = total <= capacity;
        if (fits) {
            memcpy(text, language, languageLength);
            char* next = text + languageLength;
            if (territoryLength) {
                memcpy(next, " (", 2);
                memcpy(next + 2, territory, territoryLength);
                next[2 + territoryLength] = ')';
                next += territoryLength + 3;
            }
            *next = 0;
        }
    }
    if (locale) freelocale(locale);
    return fits;
}

}  // namespace

int SystemLanguageName(char* buffer, int size) {
    char text[256];
    if (size < 0 || !ComposeName(text, sizeof text)) return 0;
    int needed = static_cast<int>(strlen(text)) + 1;
    if (size == 0) return needed;
    if (!buffer || size < needed) return 0;
    memcpy(buffer, text, static_cast<size_t>(needed));
    return needed;
}

}  // namespace qv
