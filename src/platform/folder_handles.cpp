#include "platform/folder_handles.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

std::size_t descriptorShare()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    return static_cast<std::size_t>(limit.rlim_cur / 4);
}

} // namespace

FolderHandles::FolderHandles(const ListedFolders *listed, std::size_t capacity)
    : listed_(listed)
    // One folder at least, so that files are never looked up by their whole
    // path.
    , capacity_(std::max<std::size_t>(1, std::min(capacity, descriptorShare())))
{
}

FolderHandles::~FolderHandles()
{
    clear();
}

void FolderHandles::clear()
{
    for (auto &[path, folder] : held_) {
        ::close(folder.fd);
    }
    held_.clear();
    last_ = nullptr;
    lastPath_.clear();
}

const FolderHandles::Folder *FolderHandles::find(std::string_view folder)
{
    if (last_ != nullptr && folder == lastPath_) {
        return last_;
    }
    std::string key(folder);
    auto known = held_.find(key);
    if (known == held_.end()) {
        Folder opened;
        if (!open(key, opened)) {
            return nullptr;
        }
        if (held_.size() >= capacity_) {
            clear();
        }
        known = held_.emplace(key, opened).first;
    }
    lastPath_ = std::move(key);
    last_ = &known->second;
    return last_;
}

bool FolderHandles::open(const std::string &key, Folder &opened)
{
    const ListedFolders::Folder *listed = nullptr;
    if (listed_ != nullptr) {
        listed = listed_->find(key);
        if (listed == nullptr) {
            errno = 0;
            return false;
        }
    }
    int fd = -1;
    if (listed == nullptr || listed->start) {
        fd = ::open(key.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } else {
        // From the folder above, itself reached the same way, so no link is
        // followed anywhere below the start folder. The folder above may be
        // let go of once this one is open.
        std::string_view parentKey;
        std::string_view name;
        SplitPath(key, parentKey, name);
        if (parentKey == key || name.empty()) {
            errno = 0;
            return false;
        }
        const Folder *parent = find(parentKey);
        if (parent == nullptr) {
            return false;
        }
        fd = ::openat(parent->fd, std::string(name).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)
        || (listed != nullptr && FolderIdentityOf(info) != listed->identity)) {
        ::close(fd);
        errno = 0;
        return false;
    }
    opened = Folder {fd, FolderIdentityOf(info)};
    return true;
}

void SplitPath(std::string_view path, std::string_view &folder, std::string_view &name)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos) {
        folder = ".";
        name = path;
        return;
    }
    folder = slash == 0 ? std::string_view("/") : path.substr(0, slash);
    name = path.substr(slash + 1);
}

} // namespace quillmere
