#include "platform/seen_file.h"

namespace quillmere {

SeenFile SeenFileFromStat(const struct stat &info)
{
    return SeenFile {static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                     static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
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
