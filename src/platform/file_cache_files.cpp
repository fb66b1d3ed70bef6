#include "platform/file_cache_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

std::string systemError(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

std::string MakeCacheFolder(const std::string &folder)
{
    // A folder whose owner took away its write permission is read-only here,
    // also for root, who could still write into it.
    std::string parent = "/";
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string step = folder.substr(0, end);
        struct stat info { };
        if (::stat(step.c_str(), &info) != 0) {
            struct stat above { };
            if (::stat(parent.c_str(), &above) == 0 && (above.st_mode & S_IWUSR) == 0) {
                return parent + " is read-only";
            }
            if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
                return systemError("cannot make", step);
            }
        }
        parent = step;
        if (end == std::string::npos) {
            break;
        }
    }
    struct stat info { };
    if (::stat(folder.c_str(), &info) != 0) {
        return systemError("cannot read", folder);
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + " is not a folder";
    }
    if ((info.st_mode & S_IWUSR) == 0 || ::access(folder.c_str(), W_OK | X_OK) != 0) {
        return folder + " is read-only";
    }
    return {};
}

std::string PrepareCacheFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        return systemError("cannot open", path);
    }
    struct stat info { };
    std::string problem;
    if (::fstat(fd, &info) != 0) {
        problem = systemError("cannot read", path);
    } else if (!S_ISREG(info.st_mode)) {
        problem = path + " is not a regular file";
    } else if ((info.st_mode & S_IWUSR) == 0) {
        problem = path + " is read-only";
    } else if ((info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0) {
        problem = systemError("cannot make private", path);
    }
    ::close(fd);
    return problem;
}

std::string MoveCacheAside(const std::string &path)
{
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    struct tm utc { };
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    std::string aside = path + ".aside-" + stamp;
    // Two set asides within one second keep both.
    for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n) {
        aside = path + ".aside-" + stamp + "-" + std::to_string(n);
    }
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        return {};
    }
    for (const char *journal : { "-wal", "-shm", "-journal" }) {
        ::rename((path + journal).c_str(), (aside + journal).c_str());
    }
    return aside;
}

} // namespace quillmere
