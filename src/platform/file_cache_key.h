#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillmere {

// What the cache knows a file by: which file system and inode it is, and its
// length and two times to the nanosecond. A file edited, replaced (even with
// its modification time copied) or touched in its metadata no longer matches.
struct FileCacheKey {
    std::string volume; // "uuid:<file system UUID>", or "dev:<major>:<minor>"
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;

    friend bool operator==(const FileCacheKey &, const FileCacheKey &) = default;
};

// The key of a file as `info` describes it now.
FileCacheKey FileCacheKeyOf(const struct stat &info);

// The name of the file system on `device`: its UUID when a link in
// /dev/disk/by-uuid leads to that block device (stable across mounts and
// reboots), else the device number.
std::string VolumeNameOf(dev_t device);

} // namespace quillmere
