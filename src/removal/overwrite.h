#pragma once

#include "platform/file_identity.h"
#include "removal/overwrite_passes.h"
#include "removal/removal_outcome.h"

#include <functional>
#include <string>

namespace quillmere {

// Called once the file lies in its private folder, just before it is checked
// a last time and the first byte is written.
using BeforeFirstWriteHook = std::function<void()>;

// Overwrites the whole content of the found file at this path three times
// with bytes of the program's pseudo-random generator, each pass with a
// freshly filled block, flushing to the disk after each pass; then deletes
// it. Returns Removed only when the file is gone and every pass was written.
//
// The file is reached through its folder, which must be the folder the search
// saw, and must be the very regular file the comparison read, unchanged; a
// symbolic link is never followed, a FIFO or device never opened. It is left
// alone when it has other names (hard links) whose content it would destroy
// or cannot be opened for writing.
//
// Before the first byte is written, the file is moved into a new folder that
// only this user may enter (see RemovalFolder), made beside it, and checked
// there to be the file opened; a folder that takes no new entries, or does
// not let the file go, stops the removal before anything is destroyed. Just
// before the first write its length and modification time are compared again
// with what the comparison read: a file that another program is writing gets
// its name back untouched. Only the inode written is deleted, and only its
// last name going is reported as removed.
//
// A write or flush that fails before any byte changed gives the file its name
// back untouched (NotWritten); one that fails later still deletes it and says
// that old bytes may remain (Incomplete), as does a file another program
// wrote to during the passes. A destroyed file that cannot be deleted is
// reported Stranded, with where it lies.
RemovalResult OverwriteAndDeleteFile(const std::string &path, const FoundFile &found,
                                     const OverwritePassHook &afterPass = {},
                                     const BeforeFirstWriteHook &beforeFirstWrite = {});

} // namespace quillmere
