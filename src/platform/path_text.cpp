#include "platform/path_text.h"

namespace quillmere {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the byte
// there does not start one (overlong forms, surrogates and values above
// U+10FFFF are not valid).
std::size_t validSequenceLength(const std::string &s, std::size_t i, char32_t &codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        value = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        value = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        value = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendHexByte(QString &text, unsigned char byte)
{
    static const char digits[] = "0123456789ABCDEF";
    text += QLatin1String("\\x");
    text += QLatin1Char(digits[byte >> 4]);
    text += QLatin1Char(digits[byte & 15]);
}

void appendCodePoint(QString &text, char32_t cp)
{
    if (cp < 0x10000) {
        text += QChar(static_cast<char16_t>(cp));
    } else {
        text += QChar(QChar::highSurrogate(cp));
        text += QChar(QChar::lowSurrogate(cp));
    }
}

// Walks a path's bytes: each valid UTF-8 sequence goes to `onCodePoint`, each
// byte that is not part of one to `onStrayByte`.
template <class CodePoint, class StrayByte>
void decodePath(const std::string &path, CodePoint onCodePoint, StrayByte onStrayByte)
{
    std::size_t i = 0;
    while (i < path.size()) {
        char32_t cp = 0;
        const std::size_t length = validSequenceLength(path, i, cp);
        if (length == 0) {
            onStrayByte(static_cast<unsigned char>(path[i]));
            ++i;
        } else {
            onCodePoint(cp);
            i += length;
        }
    }
}

// Line and paragraph separators end a line as a line break does; format
// characters (zero-width spaces, joiners, direction marks, the byte order
// mark) draw nothing, so two different names would look alike.
bool invisibleOrBreaking(char32_t cp)
{
    switch (QChar::category(cp)) {
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Format:
        return true;
    default:
        return false;
    }
}

// \u200b, or \U000e0001 beyond the first plane.
void appendCodePointEscape(QString &text, char32_t cp)
{
    if (cp <= 0xFFFF) {
        text += QStringLiteral("\\u%1").arg(static_cast<uint>(cp), 4, 16, QLatin1Char('0'));
    } else {
        text += QStringLiteral("\\U%1").arg(static_cast<uint>(cp), 8, 16, QLatin1Char('0'));
    }
}

} // namespace

QString ShownPath(const std::string &path)
{
    QString text;
    text.reserve(static_cast<qsizetype>(path.size()));
    decodePath(
        path, [&](char32_t cp) {
            switch (cp) {
            case U'\\':
                text += QLatin1String("\\\\");
                return;
            case U'\n':
                text += QLatin1String("\\n");
                return;
            case U'\t':
                text += QLatin1String("\\t");
                return;
            case U'\r':
                text += QLatin1String("\\r");
                return;
            default:
                break;
            }
            if (cp < 0x20 || cp == 0x7F) {
                appendHexByte(text, static_cast<unsigned char>(cp));
            } else if (cp >= 0x80 && cp < 0xA0) {
                // C1 controls: shown as their UTF-8 bytes.
                appendHexByte(text, static_cast<unsigned char>(0xC0 | (cp >> 6)));
                appendHexByte(text, static_cast<unsigned char>(0x80 | (cp & 0x3F)));
            } else if (invisibleOrBreaking(cp)) {
                appendCodePointEscape(text, cp);
            } else {
                appendCodePoint(text, cp);
            }
        },
        [&](unsigned char stray) { appendHexByte(text, stray); });
    return text;
}

QString ShownPathText(const QString &pathText)
{
    return ShownPath(textToPath(pathText));
}

QString pathToText(const std::string &path)
{
    QString text;
    text.reserve(static_cast<qsizetype>(path.size()));
    decodePath(
        path, [&](char32_t cp) { appendCodePoint(text, cp); },
        [&](unsigned char stray) { text += QChar(static_cast<char16_t>(0xDC00 + stray)); });
    return text;
}

std::string textToPath(const QString &text)
{
    std::string path;
    path.reserve(static_cast<std::size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = text.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            appendUtf8(path, QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            path += static_cast<char>(unit - 0xDC00);
        } else if (QChar::isSurrogate(unit)) {
            // A lone surrogate that no path decoding produces has no byte form.
            path += '?';
        } else {
            appendUtf8(path, unit);
        }
    }
    return path;
}

} // namespace quillmere
