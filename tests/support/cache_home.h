#pragma once

#include "platform/file_cache_key.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace quillmere::test {

// The cache key of the file at `path` as it is now.
inline FileCacheKey cacheKeyOf(const std::string &path)
{
    struct stat info { };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return FileCacheKeyOf(info);
}

// Points XDG_CACHE_HOME, where the program keeps its cache of pictures, at
// `folder` while it lives.
class ScopedCacheHome {
public:
    explicit ScopedCacheHome(const std::string &folder)
    {
        const char *before = std::getenv("XDG_CACHE_HOME");
        had_ = before != nullptr;
        before_ = had_ ? before : "";
        ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
    }
    ~ScopedCacheHome()
    {
        if (had_) {
            ::setenv("XDG_CACHE_HOME", before_.c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
    }
    ScopedCacheHome(const ScopedCacheHome &) = delete;
    ScopedCacheHome &operator=(const ScopedCacheHome &) = delete;

private:
    bool had_ = false;
    std::string before_;
};

} // namespace quillmere::test
