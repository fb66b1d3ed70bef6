#include "removal/overwrite_passes.h"

#include "common/random_generator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <unistd.h>

namespace quillmere {

namespace {

// Writes all `count` bytes at `offset`, resuming after short writes; records
// in `progress` whether any byte went out and why a write failed.
bool writeAt(int fd, const unsigned char *bytes, std::size_t count, off_t offset, OverwriteProgress &progress)
{
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, bytes, count, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            progress.error = errno;
            return false;
        }
        if (written == 0) {
            progress.error = EIO;
            return false;
        }
        progress.wroteAny = true;
        bytes += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

} // namespace

OverwriteProgress OverwriteContent(int fd, off_t size, const OverwritePassHook &afterPass)
{
    OverwriteProgress progress;
    std::array<unsigned char, kOverwriteBlockSize> block {};
    for (int pass = 0; pass < kOverwritePasses; ++pass) {
        for (unsigned char &byte : block) {
            byte = static_cast<unsigned char>(RandomBelow(256));
        }
        for (off_t offset = 0; offset < size;) {
            const auto count = static_cast<std::size_t>(std::min<off_t>(size - offset, kOverwriteBlockSize));
            if (!writeAt(fd, block.data(), count, offset, progress)) {
                return progress;
            }
            offset += static_cast<off_t>(count);
        }
        if (::fsync(fd) != 0) {
            progress.error = errno;
            return progress;
        }
        if (afterPass) {
            afterPass(pass);
        }
    }
    progress.complete = true;
    return progress;
}

} // namespace quillmere
