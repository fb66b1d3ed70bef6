#include "platform/locale_formats.h"

#include <clocale>
#include <cstring>

namespace quillmere {

namespace {
LocaleFormats &formats()
{
    static LocaleFormats value;
    return value;
}
} // namespace

void loadLocaleFormats()
{
    const lconv *conv = std::localeconv();
    LocaleFormats loaded;
    // Only a one-byte separator is representable as one character; locales
    // with a multi-byte one fall back to the full stop.
    if (conv != nullptr && conv->decimal_point != nullptr && std::strlen(conv->decimal_point) == 1) {
        loaded.decimalSeparator = QLatin1Char(conv->decimal_point[0]);
    }
    formats() = loaded;
}

const LocaleFormats &localeFormats()
{
    return formats();
}

} // namespace quillmere
