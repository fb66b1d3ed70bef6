#pragma once

#include "platform/seen_file.h"

#include <optional>
#include <string>

namespace quillmere {

// Moves the regular file at exactly this path (its bytes as they are) to the
// user's trash, where it can be restored from. Returns true only when the
// file is now in the trash. A symbolic link, a FIFO, a folder or anything but
// a regular file is left alone, and so is a file whose size or modification
// time differ from `expected` when that is given. Shows nothing to the user.
bool RecycleFile(const std::string &path, const std::optional<SeenFile> &expected = std::nullopt);

} // namespace quillmere
