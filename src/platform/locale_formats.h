#pragma once

#include <QChar>
#include <QString>

namespace quillmere {

// The parts of the user's locale the program shows numbers and dates with.
// They are read once at program start, after setlocale(LC_ALL, "").
struct LocaleFormats {
    QChar decimalSeparator = QLatin1Char('.');
    // strftime conversions of LC_TIME: the short date (%x) and the long time
    // (%X), kept as the locale's own format strings.
    QString shortDateFormat = QStringLiteral("%m/%d/%y");
    QString longTimeFormat = QStringLiteral("%H:%M:%S");
};

// Reads the formats from the C library's current locale.
void loadLocaleFormats();
const LocaleFormats &localeFormats();

} // namespace quillmere
