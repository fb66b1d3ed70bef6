#include "removal/found_file_check.h"

#include <cerrno>
#include <fcntl.h>

namespace quillmere {

std::optional<RemovalOutcome> FoundFileEntry::open(const std::string &path, const FoundFile &found)
{
    path_ = path;
    name_ = NameOfPath(path);
    if (path.empty() || path.find('\0') != std::string::npos || name_.empty() || name_ == "." || name_ == "..") {
        return RemovalOutcome::Changed;
    }
    folder_.reset(::open(FolderOfPath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder_.valid()) {
        return errno == ENOENT ? RemovalOutcome::Gone : RemovalOutcome::Changed;
    }
    struct stat folderInfo {};
    if (::fstat(folder_.get(), &folderInfo) != 0 || FolderIdentityOf(folderInfo) != found.folder) {
        return RemovalOutcome::Changed;
    }
    if (::fstatat(folder_.get(), name_.c_str(), &info_, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? RemovalOutcome::Gone : RemovalOutcome::Changed;
    }
    if (!S_ISREG(info_.st_mode) || FileIdentityOf(info_) != found.file) {
        return RemovalOutcome::Changed;
    }
    return std::nullopt;
}

std::string FoundFileEntry::sibling(const std::string &name) const
{
    const std::string folder = FolderOfPath(path_);
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool FoundFileUnchanged(const std::string &path, const FoundFile &found)
{
    FoundFileEntry entry;
    return !entry.open(path, found).has_value();
}

} // namespace quillmere
