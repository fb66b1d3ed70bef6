#include "cli/mask_texts.h"

#include "imaging/picture_formats.h"

namespace quillmere {

std::string QuotedMasks(const std::string &separator, const std::string &lastSeparator, bool markDefault)
{
    const QStringList masks = PictureMasks();
    std::string text;
    for (qsizetype i = 0; i < masks.size(); ++i) {
        if (i > 0) {
            text += i + 1 == masks.size() ? lastSeparator : separator;
        }
        text += "\"" + masks[i].toStdString() + "\"";
        if (i == 0 && markDefault) {
            text += " (the default)";
        }
    }
    return text;
}

} // namespace quillmere
