#pragma once

#include "platform/file_identity.h"

#include <string>
#include <utility>
#include <vector>

namespace quillmere {

// A set of folders, each resolved once to the real folder its path names
// (links on the way followed), that tells whether a file lies inside one of
// them, directly or in a folder below.
//
// The answer goes by what the folders are, never by how their paths are
// spelled: the folder holding the file is opened and its chain of parents,
// "..", is climbed to the root, and each is compared with the set by device
// and inode. So a path through a symbolic link into a member counts as inside
// it, and a folder whose name merely begins like a member's does not.
class FolderSet {
public:
    FolderSet() = default;
    // Folders that cannot be looked up now are left out and listed by
    // missing().
    explicit FolderSet(const std::vector<std::string> &folders);

    bool empty() const { return members_.empty(); }
    // The paths given, in their order, that name a folder.
    const std::vector<std::string> &folders() const { return paths_; }
    const std::vector<std::string> &missing() const { return missing_; }

    // Whether the file at `path` lies inside a member, looked up afresh at
    // every call. A path whose folder cannot be opened is outside (nothing
    // can be removed through it either).
    bool holds(const std::string &path) const;
    // The same for the open folder `folderFd` itself (O_PATH is enough).
    bool holdsFolder(int folderFd) const;

    // Adds every folder of `other`.
    void add(const FolderSet &other);

private:
    std::vector<std::pair<dev_t, ino_t>> members_;
    std::vector<std::string> paths_;
    std::vector<std::string> missing_;
};

} // namespace quillmere
