#pragma once

#include "platform/file_identity.h"
#include "removal/removal_outcome.h"

#include <string>

namespace quillmere {

// Moves the found file at this path to the user's trash, where desktops list
// it and can restore it. Its folder is opened and checked to be the folder
// the search saw, its name to lead, without following a link, to the very
// regular file the comparison read, unchanged; then the entry is moved from
// that open folder, so neither a folder nor a file swapped in under the path
// can take its place. What arrives in the trash is checked again, and
// anything but the marked file is put back. Shows nothing to the user.
RemovalResult RecycleFile(const std::string &path, const FoundFile &found);

} // namespace quillmere
