#include "removal/overwrite.h"

#include "app/random_generator.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

// Writes all `count` bytes at `offset`, resuming after short writes.
bool writeAt(int fd, const unsigned char *bytes, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, bytes, count, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool OverwriteAndDeleteFile(const std::string &path, const std::optional<SeenFile> &expected,
                            const OverwritePassHook &afterPass)
{
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    // Look before opening: opening a device or a FIFO can have effects of its own.
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) {
        return false;
    }
    UniqueFd file(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        return false;
    }
    // From here on only the open file counts: it is what gets written.
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(named, opened)) {
        return false;
    }
    if ((opened.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    // A file with other names (hard links) is shared: overwriting it would
    // destroy what those names hold, which the user did not mark.
    if (opened.st_nlink != 1) {
        return false;
    }
    if (expected && SeenFileFromStat(opened) != *expected) {
        return false;
    }

    std::array<unsigned char, kOverwriteBlockSize> block {};
    for (int pass = 0; pass < kOverwritePasses; ++pass) {
        for (unsigned char &byte : block) {
            byte = static_cast<unsigned char>(RandomBelow(256));
        }
        struct stat current {};
        if (::fstat(file.get(), &current) != 0) {
            return false;
        }
        off_t offset = 0;
        off_t left = current.st_size;
        while (left > 0) {
            const auto count = static_cast<std::size_t>(std::min<off_t>(left, kOverwriteBlockSize));
            if (!writeAt(file.get(), block.data(), count, offset)) {
                return false;
            }
            offset += static_cast<off_t>(count);
            left -= static_cast<off_t>(count);
        }
        ::fsync(file.get());
        if (afterPass) {
            afterPass(pass);
        }
    }
    file.reset();

    // Delete the name only while it still leads to the file just overwritten.
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0 || !sameFile(before, opened)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

} // namespace quillmere
