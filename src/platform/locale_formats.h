#pragma once

#include <QChar>

namespace quillmere {

// The parts of the user's locale the program shows numbers and dates with.
// They are read once at program start, after setlocale(LC_ALL, "").
struct LocaleFormats {
    QChar decimalSeparator = QLatin1Char('.');
};

// Reads the formats from the C library's current locale.
void loadLocaleFormats();
const LocaleFormats &localeFormats();

} // namespace quillmere
