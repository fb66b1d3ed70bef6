#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillmere {

// Which file a descriptor or a name leads to, and in what state: device and
// inode say which file it is, the length and the two times (to the
// nanosecond) say that its content and metadata are as they were. A file
// that is edited, replaced or renamed over changes at least one of them.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0; // last change of the content
    std::int64_t changedNs = 0;  // last change of the content or of the metadata

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

FileIdentity FileIdentityOf(const struct stat &info);

// Whether two stats name the same file (device and inode), whatever its state.
bool SameFile(const struct stat &a, const struct stat &b);
bool SameFile(const struct stat &info, const FileIdentity &identity);

// The folder a found file was listed in.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FolderIdentity &, const FolderIdentity &) = default;
};

FolderIdentity FolderIdentityOf(const struct stat &info);

// A file the comparison declared identical to others, as it read it.
struct FoundFile {
    FileIdentity file;
    FolderIdentity folder;
};

// The folder part of a path ("/" for "/a.jpg", "." for "a.jpg") and its last
// component.
std::string FolderOfPath(const std::string &path);
std::string NameOfPath(const std::string &path);

} // namespace quillmere
