#include "cli/json_path.h"

#include "platform/path_text.h"

#include <QString>
#include <cstdio>

namespace quillmere {

namespace {

void appendEscape(std::string &out, unsigned value)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", value);
    out += escape;
}

} // namespace

std::string JsonPathString(const std::string &path)
{
    // The path's text form already carries each stray byte as U+DC80..U+DCFF.
    const QString text = pathToText(path);
    std::string out = "\"";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            out += QString(text.mid(i, 2)).toStdString();
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            appendEscape(out, unit);
        } else if (unit == u'"') {
            out += "\\\"";
        } else if (unit == u'\\') {
            out += "\\\\";
        } else if (unit == u'\n') {
            out += "\\n";
        } else if (unit == u'\t') {
            out += "\\t";
        } else if (unit == u'\r') {
            out += "\\r";
        } else if (unit < 0x20 || unit == 0x7F) {
            appendEscape(out, unit);
        } else {
            out += QString(QChar(unit)).toStdString();
        }
    }
    out += '"';
    return out;
}

} // namespace quillmere
