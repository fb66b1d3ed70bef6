#include "platform/seen_file.h"

namespace quillmere {

SeenFile SeenFileFromStat(const struct stat &info)
{
    return SeenFile {static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                     static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

SeenFile SeenFileFromTimes(std::int64_t size, std::int64_t modifiedNs)
{
    constexpr std::int64_t perSecond = 1000000000;
    // Seconds rounded down, so the nanoseconds stay in 0..999999999 as stat
    // gives them, also before 1970.
    std::int64_t seconds = modifiedNs / perSecond;
    std::int64_t nanoseconds = modifiedNs % perSecond;
    if (nanoseconds < 0) {
        nanoseconds += perSecond;
        --seconds;
    }
    return SeenFile {size, seconds, nanoseconds};
}

std::optional<SeenFile> SeenFileAt(const std::string &path)
{
    struct stat info {};
    if (path.find('\0') != std::string::npos || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return SeenFileFromStat(info);
}

std::optional<SeenFile> SeenFileRecord::find(const QString &pathText) const
{
    const auto found = files_.constFind(pathText);
    if (found == files_.constEnd()) {
        return std::nullopt;
    }
    return *found;
}

} // namespace quillmere
