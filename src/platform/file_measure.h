#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillmere {

// What one open of a file tells about it: its length and which file it is.
struct FileStamp {
    double size = -1;         // bytes, or -1 when the file could not be measured
    dev_t device = 0;         // with inode: the identity of the file behind the path
    ino_t inode = 0;
    std::int64_t mtimeNs = 0; // last modification, nanoseconds since the epoch
};

// Opens a found file the one way every found path is opened for reading:
// read-only, without blocking (a FIFO or device that took the file's place
// must not hang the open), never through a symbolic link, and kept only when
// the open file is a regular file. Returns the descriptor with the file's
// status in `info`, or -1 with errno set: ELOOP for a symbolic link, ENODEV
// for anything else that is not a regular file.
int OpenFoundFile(const std::string &path, struct stat &info) noexcept;
// The same for the file `name` in the folder open as `folder` (AT_FDCWD for
// the working folder).
int OpenFoundFileIn(int folder, const char *name, struct stat &info) noexcept;

// "/proc/self/fd/N": a path that opens, once more, the very file that the
// open descriptor `fd` holds. OpenFoundFile follows this one link, and only
// it, since it leads to a file already opened the careful way, so that a
// reader taking paths reads exactly the file that was opened and checked.
// OpenFoundFile gives a duplicate of `fd`, which shares its read position:
// whoever reads through it reads at offsets of its own.
std::string DescriptorPath(int fd);

// Opens `path` as OpenFoundFile does and, when it is a regular file, returns
// its length taken from the open file together with its identity. Anything
// that cannot be opened or is not a regular file (a symbolic link, a folder,
// a FIFO, a device, a socket) measures -1. Never throws.
FileStamp MeasureFileStamp(const std::string &path) noexcept;

// What MeasureFileStamp would return for the file `name` in the folder open
// as `folder` (AT_FDCWD for the working folder), taken from the file's
// status without opening it where that gives the same answer: a regular file
// (not followed through a symbolic link) that its owner, the caller, may read
// opens read-only without fail. Any other file is opened, from that folder
// too, so nothing on the way to it is looked up again.
FileStamp MeasureFileStatusIn(int folder, const char *name) noexcept;

// The size part of MeasureFileStamp.
double MeasureFile(const std::string &path) noexcept;

// Reads up to `length` bytes at `offset`, retrying short reads; returns the
// number read (less at the end of the file) or -1 on an error.
std::int64_t ReadFully(int fd, void *buffer, std::int64_t length, std::int64_t offset) noexcept;

} // namespace quillmere
