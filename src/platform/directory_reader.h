#pragma once

#include <dirent.h>
#include <span>
#include <string>
#include <sys/types.h>

namespace quillmere {

// Reads the entries of one folder through an open descriptor, so that a whole
// tree can be walked with openat() and never through a symbolic link.
class DirectoryReader {
public:
    enum class Kind { Folder, RegularFile, Other };
    struct Entry {
        const char *name = nullptr; // valid until the next call of next()
        Kind kind = Kind::Other;
    };

    // Opens `path` as a folder. A symbolic link at the end of the path is
    // followed only when `followLink` is set.
    static DirectoryReader openPath(const std::string &path, bool followLink);
    // Opens the entry `name` of the folder read by `parent`, never through a
    // symbolic link.
    static DirectoryReader openChild(const DirectoryReader &parent, const char *name);

    // A folder on the way down from an open folder to a deeper one: its name
    // in the folder above and the identity it had when it was listed.
    struct Step {
        std::string name;
        dev_t device = 0;
        ino_t inode = 0;
    };
    // Opens the entry `name` of the folder reached from the folder read by
    // `anchor` through `via`, one name at a time and never through a symbolic
    // link, holding at most two descriptors at once. A folder on the way that
    // is gone or is no longer the one listed leaves the result closed.
    static DirectoryReader openBelow(const DirectoryReader &anchor, std::span<const Step> via, const char *name);

    DirectoryReader(DirectoryReader &&other) noexcept;
    DirectoryReader &operator=(DirectoryReader &&other) = delete;
    DirectoryReader(const DirectoryReader &) = delete;
    ~DirectoryReader();

    // False when the folder could not be opened, is not a folder, or lies on
    // a virtual file system (proc, sysfs, devtmpfs and the like).
    bool isOpen() const { return dir_ != nullptr; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }
    uid_t owner() const { return owner_; }
    mode_t mode() const { return mode_; }

    // The next entry, "." and ".." included; false at the end of the folder
    // and on a read error (which ends the reading of this folder).
    bool next(Entry &entry);

    // Closes the folder; isOpen() is false afterwards.
    void close();

private:
    explicit DirectoryReader(int fd);

    DIR *dir_ = nullptr;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    uid_t owner_ = 0;
    mode_t mode_ = 0;
};

// True for the file-system kinds that describe the kernel rather than hold
// files (proc, sysfs, devtmpfs, devpts, cgroup, debugfs and the like).
bool IsVirtualFileSystem(int fd);

} // namespace quillmere
