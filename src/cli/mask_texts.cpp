#include "cli/mask_texts.h"

#include "imaging/picture_formats.h"

namespace quillmere {

std::string QuotedMasks(const std::string &separator, const std::string &lastSeparator, bool markDefault)
{
    QStringList masks = PictureMasks();
    masks.append(QStringLiteral("all"));
    std::string text;
    for (qsizetype i = 0; i < masks.size(); ++i) {
        if (i > 0) {
            text += i + 1 == masks.size() ? lastSeparator : separator;
        }
        // "all" is a word of the command line, not a file mask.
        text += i + 1 == masks.size() ? masks[i].toStdString() : "\"" + masks[i].toStdString() + "\"";
        if (i == 0 && markDefault) {
            text += " (the default)";
        }
    }
    return text;
}

} // namespace quillmere
