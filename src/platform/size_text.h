#pragma once

#include <QString>

namespace quillmere {

// The size as the result table shows it, from the size text of a found file
// (the decimal digits of its byte count): bytes up to 1024, kilobytes up to
// 1048576, megabytes above, each value as a general number text with " B",
// " KB" or " MB" after it. Raises EConvertError when the text is no number.
QString SizeDisplayText(const QString &sizeText);

} // namespace quillmere
