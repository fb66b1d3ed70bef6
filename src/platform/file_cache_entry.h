#pragma once

#include "platform/file_cache_key.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace quillmere {

class FileCache;

// One kind of value of one open file in the cache: found for the file as it
// is when the entry is made, and stored only when the file is still in that
// state, so that a value made while the file changed never outlives the run.
// Without a cache (null or off) nothing is found and nothing stored.
class FileCacheEntry {
public:
    FileCacheEntry(FileCache *cache, int fd, std::string_view kind, int version);
    // The same for the file in the state `info` (its status when opened).
    FileCacheEntry(FileCache *cache, int fd, const struct stat &info, std::string_view kind, int version);

    std::optional<std::string> find() const;
    void store(std::string value) const;

private:
    FileCache *cache_;
    int fd_;
    std::string_view kind_;
    int version_;
    std::optional<FileCacheKey> key_;
};

} // namespace quillmere
