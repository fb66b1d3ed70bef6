#include "platform/file_cache_entry.h"

#include "platform/file_cache.h"

#include <sys/stat.h>

namespace quillmere {

namespace {

std::optional<FileCacheKey> keyOfOpenFile(int fd)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return FileCacheKeyOf(info);
}

} // namespace

FileCacheEntry::FileCacheEntry(FileCache *cache, int fd, std::string_view kind, int version)
    : cache_(cache != nullptr && cache->enabled() ? cache : nullptr)
    , fd_(fd)
    , kind_(kind)
    , version_(version)
    , key_(cache_ != nullptr ? keyOfOpenFile(fd) : std::nullopt)
{
}

FileCacheEntry::FileCacheEntry(FileCache *cache, int fd, const struct stat &info, std::string_view kind, int version)
    : cache_(cache != nullptr && cache->enabled() ? cache : nullptr)
    , fd_(fd)
    , kind_(kind)
    , version_(version)
    , key_(cache_ != nullptr && S_ISREG(info.st_mode) ? std::optional(FileCacheKeyOf(info)) : std::nullopt)
{
}

std::optional<std::string> FileCacheEntry::find() const
{
    if (!key_) {
        return std::nullopt;
    }
    return cache_->find(*key_, kind_, version_);
}

void FileCacheEntry::store(std::string value) const
{
    if (key_ && keyOfOpenFile(fd_) == key_) {
        cache_->store(*key_, kind_, version_, std::move(value));
    }
}

} // namespace quillmere
