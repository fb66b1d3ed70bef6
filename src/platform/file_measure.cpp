#include "platform/file_measure.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

int OpenFoundFile(const std::string &path, struct stat &info) noexcept
{
    return OpenFoundFileIn(AT_FDCWD, path.c_str(), info);
}

namespace {

constexpr char kDescriptorFolder[] = "/proc/self/fd/";

// Whether the name is exactly a DescriptorPath: the folder, then digits only.
bool isDescriptorPath(const char *name) noexcept
{
    const std::size_t prefix = sizeof kDescriptorFolder - 1;
    if (std::strncmp(name, kDescriptorFolder, prefix) != 0 || name[prefix] == '\0') {
        return false;
    }
    for (const char *digit = name + prefix; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
    }
    return true;
}

// A second descriptor of this process's descriptor `digits`.
int duplicateHeld(const char *digits) noexcept
{
    errno = 0;
    const long number = std::strtol(digits, nullptr, 10);
    if (errno != 0 || number > INT_MAX) {
        errno = EBADF;
        return -1;
    }
    return ::fcntl(static_cast<int>(number), F_DUPFD_CLOEXEC, 0);
}

} // namespace

std::string DescriptorPath(int fd)
{
    return kDescriptorFolder + std::to_string(fd);
}

int OpenFoundFileIn(int folder, const char *name, struct stat &info) noexcept
{
    // A descriptor's path names a file this program holds open: it gets a
    // second descriptor of that very file, without a walk through /proc. The
    // two share one read position, so readers of such a file read at offsets
    // of their own (pread). The file is still checked to be a regular file.
    const bool held = folder == AT_FDCWD && isDescriptorPath(name);
    const int fd = held ? duplicateHeld(name + sizeof kDescriptorFolder - 1)
                        : ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    return fd;
}

namespace {

FileStamp measureOpened(int folder, const char *name) noexcept
{
    FileStamp stamp;
    struct stat st {};
    const int fd = OpenFoundFileIn(folder, name, st);
    if (fd < 0) {
        return stamp;
    }
    stamp.size = static_cast<double>(st.st_size);
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    ::close(fd);
    return stamp;
}

} // namespace

FileStamp MeasureFileStamp(const std::string &path) noexcept
{
    return measureOpened(AT_FDCWD, path.c_str());
}

FileStamp MeasureFileStatusIn(int folder, const char *name) noexcept
{
    static const uid_t user = ::geteuid();
    struct stat st {};
    // Only the owner class is judged from the mode: access lists and group
    // lists cannot narrow what the owner's bits grant, while they can for
    // everyone else, so every other file is opened as before.
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user
        || (st.st_mode & S_IRUSR) == 0) {
        return measureOpened(folder, name);
    }
    FileStamp stamp;
    stamp.size = static_cast<double>(st.st_size);
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

double MeasureFile(const std::string &path) noexcept
{
    return MeasureFileStamp(path).size;
}

std::int64_t ReadFully(int fd, void *buffer, std::int64_t length, std::int64_t offset) noexcept
{
    auto *out = static_cast<char *>(buffer);
    std::int64_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, out + done, static_cast<size_t>(length - done), offset + done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

} // namespace quillmere
