#include "platform/folder_set.h"

#include "platform/unique_fd.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace quillmere {

namespace {

std::pair<dev_t, ino_t> identityOf(const struct stat &info)
{
    return {info.st_dev, info.st_ino};
}

} // namespace

FolderSet::FolderSet(const std::vector<std::string> &folders)
{
    for (const std::string &folder : folders) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            members_.push_back(identityOf(info));
            paths_.push_back(folder);
        } else {
            missing_.push_back(folder);
        }
    }
}

void FolderSet::add(const FolderSet &other)
{
    members_.insert(members_.end(), other.members_.begin(), other.members_.end());
    paths_.insert(paths_.end(), other.paths_.begin(), other.paths_.end());
    missing_.insert(missing_.end(), other.missing_.begin(), other.missing_.end());
}

bool FolderSet::holdsFolder(int folderFd) const
{
    if (members_.empty()) {
        return false;
    }
    struct stat info {};
    if (::fstat(folderFd, &info) != 0) {
        return false;
    }
    UniqueFd current;
    int at = folderFd;
    // Climbs by "..", which the kernel resolves on the real folder, so the
    // chain is the folder's own whatever path led to it. The root is its own
    // parent; the bound only guards against a tree changing while it is
    // climbed.
    for (int depth = 0; depth < 4096; ++depth) {
        if (std::find(members_.begin(), members_.end(), identityOf(info)) != members_.end()) {
            return true;
        }
        UniqueFd parent(::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat parentInfo {};
        if (!parent.valid() || ::fstat(parent.get(), &parentInfo) != 0) {
            return false;
        }
        if (identityOf(parentInfo) == identityOf(info)) {
            return false;
        }
        current = std::move(parent);
        at = current.get();
        info = parentInfo;
    }
    return false;
}

bool FolderSet::holds(const std::string &path) const
{
    if (members_.empty()) {
        return false;
    }
    const UniqueFd folder(::open(FolderOfPath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() && holdsFolder(folder.get());
}

} // namespace quillmere
