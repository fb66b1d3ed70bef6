#include "removal/removal_folder.h"

#include "platform/file_identity.h"
#include "platform/removal_folder_name.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace quillmere {

namespace {

constexpr int kAttempts = 8;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Renames across two folders, never replacing an entry.
int renameNoReplace(int fromFolder, const std::string &from, int toFolder, const std::string &to)
{
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL) {
        return errno;
    }
    // A file system without the flag: look first, then rename.
    struct stat taken {};
    if (::fstatat(toFolder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
}

std::string markerName(const std::string &fileName)
{
    const std::string marker = "overwrite-started";
    return fileName == marker ? marker + "-" : marker;
}

} // namespace

bool VisitEntryNames(int fd, const std::function<bool(const std::string &name)> &visit)
{
    // A descriptor of its own: closedir closes it, and the reading position
    // of `fd` stays where it was.
    const int copy = ::openat(fd, ".", kFolderFlags);
    if (copy < 0) {
        return false;
    }
    DIR *dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return false;
    }
    bool stopped = false;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && !visit(name)) {
            stopped = true;
            break;
        }
        errno = 0; // `visit` may have set it; only readdir's counts
    }
    const bool complete = stopped || errno == 0;
    ::closedir(dir);
    return complete;
}

bool FolderIsEmpty(int fd)
{
    bool empty = true;
    const bool read = VisitEntryNames(fd, [&](const std::string &) {
        empty = false;
        return false;
    });
    return read && empty;
}

int RemovalFolder::make(int parent)
{
    parent_ = parent;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string name = NewRemovalFolderName();
        if (name.empty()) {
            return EAGAIN;
        }
        if (::mkdirat(parent, name.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        // Another user may have moved it away and put a folder of their own
        // under its name before it was opened: then it is not used, and
        // nothing under that name is removed.
        UniqueFd fd(::openat(parent, name.c_str(), kFolderFlags));
        struct stat info {};
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()
            || (info.st_mode & 0077) != 0 || !FolderIsEmpty(fd.get())) {
            continue;
        }
        // The umask or a set-group-id parent may have changed the mode made.
        if ((info.st_mode & 07777) != 0700 && (::fchmod(fd.get(), 0700) != 0 || ::fstat(fd.get(), &info) != 0)) {
            continue;
        }
        fd_ = std::move(fd);
        name_ = name;
        info_ = info;
        return 0;
    }
    return EEXIST;
}

bool RemovalFolder::open(int parent, const std::string &name)
{
    parent_ = parent;
    if (!IsRemovalFolderName(name)) {
        return false;
    }
    UniqueFd fd(::openat(parent, name.c_str(), kFolderFlags));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !IsOwnRemovalFolder(info.st_mode, info.st_uid)) {
        return false;
    }
    fd_ = std::move(fd);
    name_ = name;
    info_ = info;
    return true;
}

int RemovalFolder::moveIn(const std::string &fileName)
{
    return renameNoReplace(parent_, fileName, fd_.get(), fileName);
}

int RemovalFolder::moveBack(const std::string &fileName)
{
    return renameNoReplace(fd_.get(), fileName, parent_, fileName);
}

bool RemovalFolder::holds(const std::string &fileName, const struct stat &file) const
{
    struct stat named {};
    return ::fstatat(fd_.get(), fileName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, file);
}

int RemovalFolder::swapWithParent(const std::string &fileName)
{
    return ::renameat2(fd_.get(), fileName.c_str(), parent_, fileName.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

bool RemovalFolder::markWriting(const std::string &fileName)
{
    marker_ = markerName(fileName);
    return ::mkdirat(fd_.get(), marker_.c_str(), 0700) == 0 && ::fsync(fd_.get()) == 0;
}

bool RemovalFolder::unmarkWriting()
{
    return ::unlinkat(fd_.get(), marker_.c_str(), AT_REMOVEDIR) == 0 && ::fsync(fd_.get()) == 0;
}

bool RemovalFolder::remove()
{
    struct stat named {};
    if (::fstatat(parent_, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(named, info_)) {
        return false;
    }
    return ::unlinkat(parent_, name_.c_str(), AT_REMOVEDIR) == 0;
}

} // namespace quillmere
