#include "platform/locale_formats.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>

namespace quillmere {

namespace {
LocaleFormats &formats()
{
    static LocaleFormats value;
    return value;
}

// Decodes a format string of the current locale's character set; an empty or
// undecodable one leaves the fallback in place.
void takeTimeFormat(nl_item item, QString &format)
{
    const char *raw = nl_langinfo(item);
    if (raw == nullptr || raw[0] == '\0') {
        return;
    }
    const std::size_t length = std::mbstowcs(nullptr, raw, 0);
    if (length == static_cast<std::size_t>(-1)) {
        return;
    }
    std::wstring wide(length, L'\0');
    std::mbstowcs(wide.data(), raw, length);
    format = QString::fromStdWString(wide);
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
    takeTimeFormat(D_FMT, loaded.shortDateFormat);
    takeTimeFormat(T_FMT, loaded.longTimeFormat);
    formats() = loaded;
}

const LocaleFormats &localeFormats()
{
    return formats();
}

} // namespace quillmere
