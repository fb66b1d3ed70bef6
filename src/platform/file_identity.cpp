#include "platform/file_identity.h"

namespace quillmere {

namespace {

std::int64_t nanoseconds(const struct timespec &time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FileIdentity FileIdentityOf(const struct stat &info)
{
    return FileIdentity {info.st_dev, info.st_ino, static_cast<std::int64_t>(info.st_size), nanoseconds(info.st_mtim),
                         nanoseconds(info.st_ctim)};
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFile(const struct stat &info, const FileIdentity &identity)
{
    return info.st_dev == identity.device && info.st_ino == identity.inode;
}

FolderIdentity FolderIdentityOf(const struct stat &info)
{
    return FolderIdentity {info.st_dev, info.st_ino};
}

std::string FolderOfPath(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string NameOfPath(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace quillmere
