#pragma once

#include <cstddef>
#include <functional>
#include <sys/types.h>

namespace quillmere {

// The overwrite writes one block of this many bytes over the file again and
// again, the last block cut to what is left.
inline constexpr std::size_t kOverwriteBlockSize = 4096;
inline constexpr int kOverwritePasses = 3;

// Called after each pass has been written and flushed; pass counts from 0.
using OverwritePassHook = std::function<void(int pass)>;

// How far an overwrite came.
struct OverwriteProgress {
    bool complete = false; // every pass written and flushed
    bool wroteAny = false; // some byte of the file may have changed
    int error = 0;         // the errno of the write or flush that failed
};

// Writes the first `size` bytes of the open file three times with bytes of
// the program's pseudo-random generator, each pass with a freshly filled
// block, flushing to the disk after each pass. Stops at the first write or
// flush that fails.
OverwriteProgress OverwriteContent(int fd, off_t size, const OverwritePassHook &afterPass = {});

} // namespace quillmere
