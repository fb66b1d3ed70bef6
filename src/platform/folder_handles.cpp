#include "platform/folder_handles.h"

#include <algorithm>
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

FolderHandles::FolderHandles(std::size_t capacity)
    : capacity_(std::min(capacity, descriptorShare()))
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
        if (capacity_ == 0) {
            return nullptr;
        }
        if (held_.size() >= capacity_) {
            clear();
        }
        // The folder's path is resolved as the whole file path would be:
        // links on the way to it are followed, as the file system does for
        // every folder part of a path.
        const int fd = ::open(key.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            ::close(fd);
            return nullptr;
        }
        known = held_.emplace(key, Folder {fd, FolderIdentityOf(info)}).first;
    }
    lastPath_ = std::move(key);
    last_ = &known->second;
    return last_;
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
