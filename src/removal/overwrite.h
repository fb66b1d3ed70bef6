#pragma once

#include "platform/file_identity.h"
#include "removal/removal_outcome.h"

#include <cstddef>
#include <functional>
#include <string>

namespace quillmere {

// The overwrite writes one block of this many bytes over the file again and
// again, the last block cut to what is left.
inline constexpr std::size_t kOverwriteBlockSize = 4096;
inline constexpr int kOverwritePasses = 3;

// Called after each pass has been written and flushed, while the file is still
// open under its private name; pass counts from 0.
using OverwritePassHook = std::function<void(int pass)>;

// Overwrites the whole content of the found file at this path three times
// with bytes of the program's pseudo-random generator, each pass with a
// freshly filled block, flushing to the disk after each pass; then deletes
// it. Returns Removed only when the file is gone.
//
// The file is reached through its folder, which must be the folder the search
// saw, and must be the very regular file the comparison read, unchanged; a
// symbolic link is never followed, a FIFO or device never opened. It is left
// alone when it has other names (hard links) whose content it would destroy
// or cannot be opened for writing.
//
// Before the first byte is written, the file is renamed to a private name in
// its folder and checked again under that name, so a folder that does not let
// its entries go stops the removal before anything is destroyed, and a rename
// racing in the folder can never make the removal write or delete another
// file. Only the private name is deleted. When a write fails, a file not yet
// written gets its name back; a file written in part is deleted. A destroyed
// file whose private name cannot be deleted is reported Stranded, with where
// it lies.
RemovalResult OverwriteAndDeleteFile(const std::string &path, const FoundFile &found,
                                     const OverwritePassHook &afterPass = {});

} // namespace quillmere
