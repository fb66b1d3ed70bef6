#pragma once

#include "platform/file_identity.h"
#include "removal/removal_outcome.h"

#include <string>

namespace quillmere {

// Moves the file at exactly this path (its bytes as they are) to the user's
// trash, where it can be restored from. True only when the file is now in
// the trash. Shows nothing to the user.
bool TrashFile(const std::string &path);

// Trashes the found file at this path when, just before it is handed to the
// trash, its folder is the folder the search saw and its name leads, without
// following a link, to the very regular file the comparison read, unchanged.
RemovalResult RecycleFile(const std::string &path, const FoundFile &found);

} // namespace quillmere
