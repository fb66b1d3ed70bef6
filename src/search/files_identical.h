#pragma once

#include <string>

namespace quillmere {

// True when the files `a` and `b` have the same length and the same bytes
// (two empty files are identical). The lengths are compared first; the bytes
// are then compared in blocks of 65536 bytes, stopping at the first block
// that differs. Both files are opened read-only, without blocking and never
// through a symbolic link, and closed again before it returns, `b` first.
// A path that cannot be opened as a regular file raises EFOpenError; a read
// error makes the files count as different.
bool FilesIdentical(const std::string &a, const std::string &b);

} // namespace quillmere
