#include "platform/size_text.h"

#include "platform/errors.h"
#include "platform/number_text.h"

#include <cmath>

namespace quillmere {

QString SizeDisplayText(const QString &sizeText)
{
    bool ok = false;
    const double bytes = sizeText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(bytes)) {
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(sizeText));
    }
    if (bytes <= 1024) {
        return GeneralNumberText(bytes) + QStringLiteral(" B");
    }
    if (bytes <= 1048576) {
        return GeneralNumberText(bytes / 1024) + QStringLiteral(" KB");
    }
    return GeneralNumberText(bytes / 1048576) + QStringLiteral(" MB");
}

} // namespace quillmere
