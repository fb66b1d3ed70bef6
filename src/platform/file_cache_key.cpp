#include "platform/file_cache_key.h"

#include <dirent.h>
#include <map>
#include <mutex>
#include <sys/sysmacros.h>

namespace quillmere {

namespace {

std::int64_t nanoseconds(const struct timespec &time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::string uuidOfBlockDevice(dev_t device)
{
    const char *const folder = "/dev/disk/by-uuid";
    DIR *listing = ::opendir(folder);
    if (listing == nullptr) {
        return {};
    }
    std::string found;
    while (const dirent *entry = ::readdir(listing)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        struct stat target { };
        const std::string link = std::string(folder) + "/" + entry->d_name;
        if (::stat(link.c_str(), &target) == 0 && S_ISBLK(target.st_mode) && target.st_rdev == device) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

} // namespace

std::string VolumeNameOf(dev_t device)
{
    // One listing per device and process: searches ask for every file.
    static std::mutex guard;
    static std::map<dev_t, std::string> known;
    const std::lock_guard lock(guard);
    if (const auto it = known.find(device); it != known.end()) {
        return it->second;
    }
    std::string name = uuidOfBlockDevice(device);
    if (name.empty()) {
        name = "dev:" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    } else {
        name = "uuid:" + name;
    }
    known.emplace(device, name);
    return name;
}

FileCacheKey FileCacheKeyOf(const struct stat &info)
{
    FileCacheKey key;
    key.volume = VolumeNameOf(info.st_dev);
    key.inode = static_cast<std::uint64_t>(info.st_ino);
    key.size = static_cast<std::int64_t>(info.st_size);
    key.modifiedNs = nanoseconds(info.st_mtim);
    key.changedNs = nanoseconds(info.st_ctim);
    return key;
}

} // namespace quillmere
