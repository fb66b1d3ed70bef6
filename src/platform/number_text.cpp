#include "platform/number_text.h"

#include "platform/locale_formats.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quillmere {

QString GeneralNumberText(double value)
{
    if (std::isnan(value)) {
        return QStringLiteral("NAN");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    }
    if (value == 0.0) {
        return QStringLiteral("0");
    }
    // 15 significant digits, rounded, in the locale-independent form
    // "-d.ddddddddddddddde+XX".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string formatted(buffer, result.ptr);
    const std::size_t ePos = formatted.find('e');
    const bool negative = formatted[0] == '-';
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < ePos; ++i) {
        if (formatted[i] != '.') {
            digits += formatted[i];
        }
    }
    const int exponent = std::atoi(formatted.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    const QChar separator = localeFormats().decimalSeparator;
    QString text;
    if (negative) {
        text += QLatin1Char('-');
    }
    const bool fixed = exponent < 15 && std::fabs(value) >= 0.00001;
    if (fixed) {
        if (exponent < 0) {
            text += QLatin1Char('0');
            text += separator;
            text += QString(-exponent - 1, QLatin1Char('0'));
            text += QString::fromLatin1(digits);
        } else {
            const auto intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                text += QString::fromLatin1(digits);
                text += QString(static_cast<qsizetype>(intDigits - digits.size()), QLatin1Char('0'));
            } else {
                text += QString::fromLatin1(digits.substr(0, intDigits));
                text += separator;
                text += QString::fromLatin1(digits.substr(intDigits));
            }
        }
        return text;
    }
    text += QLatin1Char(digits[0]);
    if (digits.size() > 1) {
        text += separator;
        text += QString::fromLatin1(digits.substr(1));
    }
    text += QLatin1Char('E');
    text += QString::number(exponent);
    return text;
}

} // namespace quillmere
