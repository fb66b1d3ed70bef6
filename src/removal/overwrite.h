#pragma once

#include "platform/seen_file.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace quillmere {

// The overwrite writes one block of this many bytes over the file again and
// again, the last block cut to what is left.
inline constexpr std::size_t kOverwriteBlockSize = 4096;
inline constexpr int kOverwritePasses = 3;

// Called after each pass has been written and flushed, while the file is still
// open and in place; pass counts from 0.
using OverwritePassHook = std::function<void(int pass)>;

// Overwrites the whole content of the regular file at exactly this path three
// times with bytes of the program's pseudo-random generator, each pass with a
// freshly filled block, flushing to the disk after each pass; then deletes
// it. The file keeps its name and length until it is deleted. Returns true
// only when the file is gone.
//
// Nothing is written, and false is returned, when the path does not name a
// regular file (a symbolic link is never followed, a FIFO or device is never
// opened), when the file cannot be opened for writing or is read-only (no
// write permission bit set, which holds for the superuser as well), when it
// has other names (hard links) whose content it would destroy, or when
// `expected` is given and the file's size or modification time differ from it.
// A file that is replaced under its name while it is overwritten is not
// deleted.
bool OverwriteAndDeleteFile(const std::string &path, const std::optional<SeenFile> &expected = std::nullopt,
                            const OverwritePassHook &afterPass = {});

} // namespace quillmere
