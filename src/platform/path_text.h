#pragma once

#include <QString>
#include <string>

namespace quillmere {

// Paths are the file system's exact bytes. Table cells hold UTF-16 text, so a
// path is decoded as UTF-8 and every byte that is not part of valid UTF-8 is
// carried as one lone surrogate U+DC80..U+DCFF; encoding turns it back into
// that byte, so any path survives the round trip unchanged.
QString pathToText(const std::string &path);
std::string textToPath(const QString &text);

} // namespace quillmere
