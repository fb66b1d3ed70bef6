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

// A path as a person reads it, on one line that names the real file: valid
// UTF-8 as it is, each byte that is not part of valid UTF-8 as \xHH, a line
// break, tab or carriage return as \n, \t, \r, every other control
// character as \xHH, a line or paragraph separator and every invisible
// format character (zero-width space, direction marks, byte order mark) as
// \u2028, \u200b, \ufeff, and a backslash as \\, so no two paths look alike.
QString ShownPath(const std::string &path);
// The same for a path held as cell text.
QString ShownPathText(const QString &pathText);

} // namespace quillmere
