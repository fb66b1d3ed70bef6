#include "platform/directory_reader.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <set>
#include <sstream>
#include <fstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quillmere {

namespace {

// Kinds missing from older kernel headers.
constexpr unsigned long kMqueueMagic = 0x19800202;
constexpr unsigned long kConfigfsMagic = 0x62656570;
constexpr unsigned long kFuseCtlMagic = 0x65735543;

// devtmpfs reports itself as tmpfs, so it is told apart by the device number
// of its mounts, read once from the mount table.
const std::set<dev_t> &devtmpfsDevices()
{
    static std::set<dev_t> devices;
    static std::once_flag once;
    std::call_once(once, [] {
        std::ifstream table("/proc/self/mountinfo");
        std::string line;
        while (std::getline(table, line)) {
            // "id parent major:minor root mountpoint options [optional...] - fstype source superoptions"
            std::istringstream fields(line);
            std::string id, parent, majorMinor;
            fields >> id >> parent >> majorMinor;
            const auto separator = line.find(" - ");
            if (separator == std::string::npos) {
                continue;
            }
            std::istringstream tail(line.substr(separator + 3));
            std::string type;
            tail >> type;
            const auto colon = majorMinor.find(':');
            if (type != "devtmpfs" || colon == std::string::npos) {
                continue;
            }
            try {
                devices.insert(makedev(std::stoul(majorMinor.substr(0, colon)), std::stoul(majorMinor.substr(colon + 1))));
            } catch (const std::exception &) {
                // A malformed line names no device.
            }
        }
    });
    return devices;
}

} // namespace

bool IsVirtualFileSystem(int fd)
{
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case SECURITYFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case kMqueueMagic:
    case kConfigfsMagic:
    case kFuseCtlMagic:
    case HUGETLBFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    case TMPFS_MAGIC: {
        struct stat st {};
        return ::fstat(fd, &st) == 0 && devtmpfsDevices().count(st.st_dev) != 0;
    }
    default:
        return false;
    }
}

DirectoryReader::DirectoryReader(int fd)
{
    if (fd < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || IsVirtualFileSystem(fd)) {
        ::close(fd);
        return;
    }
    dir_ = ::fdopendir(fd);
    if (dir_ == nullptr) {
        ::close(fd);
        return;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    owner_ = st.st_uid;
    mode_ = st.st_mode;
}

DirectoryReader DirectoryReader::openPath(const std::string &path, bool followLink)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    return DirectoryReader(::open(path.c_str(), flags));
}

DirectoryReader DirectoryReader::openChild(const DirectoryReader &parent, const char *name)
{
    if (!parent.isOpen()) {
        return DirectoryReader(-1);
    }
    return DirectoryReader(::openat(::dirfd(parent.dir_), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

DirectoryReader DirectoryReader::openBelow(const DirectoryReader &anchor, std::span<const Step> via, const char *name)
{
    if (!anchor.isOpen()) {
        return DirectoryReader(-1);
    }
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd folder;
    int at = ::dirfd(anchor.dir_);
    for (const Step &step : via) {
        UniqueFd next(::openat(at, step.name.c_str(), kFlags));
        struct stat st {};
        if (!next.valid() || ::fstat(next.get(), &st) != 0 || st.st_dev != step.device || st.st_ino != step.inode) {
            return DirectoryReader(-1);
        }
        folder = std::move(next);
        at = folder.get();
    }
    return DirectoryReader(::openat(at, name, kFlags));
}

void DirectoryReader::close()
{
    if (dir_ != nullptr) {
        ::closedir(dir_);
        dir_ = nullptr;
    }
}

DirectoryReader::DirectoryReader(DirectoryReader &&other) noexcept
    : dir_(other.dir_)
    , device_(other.device_)
    , inode_(other.inode_)
    , owner_(other.owner_)
    , mode_(other.mode_)
{
    other.dir_ = nullptr;
}

DirectoryReader::~DirectoryReader()
{
    close();
}

bool DirectoryReader::next(Entry &entry)
{
    if (dir_ == nullptr) {
        return false;
    }
    errno = 0;
    const dirent *raw = ::readdir(dir_);
    if (raw == nullptr) {
        return false;
    }
    entry.name = raw->d_name;
    switch (raw->d_type) {
    case DT_DIR:
        entry.kind = Kind::Folder;
        break;
    case DT_REG:
        entry.kind = Kind::RegularFile;
        break;
    case DT_UNKNOWN: {
        // Some file systems do not report the kind in the listing.
        struct stat st {};
        if (::fstatat(::dirfd(dir_), raw->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            entry.kind = Kind::Other;
        } else if (S_ISDIR(st.st_mode)) {
            entry.kind = Kind::Folder;
        } else if (S_ISREG(st.st_mode)) {
            entry.kind = Kind::RegularFile;
        } else {
            entry.kind = Kind::Other;
        }
        break;
    }
    default:
        entry.kind = Kind::Other;
        break;
    }
    return true;
}

} // namespace quillmere
