// The system default locale's language name from GetLocaleInfoA.
#include "../SystemLocale.h"

#include "WindowsSdk.h"

namespace qv {

int SystemLanguageName(char* buffer, int size) {
    return GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SLANGUAGE, size ? buffer : nullptr, size);
}

}  // namespace qv
