#pragma once

#include "platform/file_identity.h"
#include "platform/listed_folders.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmere {

// Descriptors of folders (O_PATH), opened once each, so that the files in
// them are opened or looked up from the folder instead of walking the whole
// path from the root for each file. At most `capacity` folders are held, and
// never more than a quarter of the descriptors the process may open; when
// that is reached the held ones are closed and it starts afresh.
//
// With `listed`, only the folders of that listing are found, each reached as
// the listing reached it: a start folder by its path, every other folder by
// its name from the folder above it, never through a symbolic link, and only
// while it is still the folder that was listed. Without, a folder is opened
// by its path, links on the way followed.
class FolderHandles {
public:
    // Enough for the folders of a large photo archive to stay open at once.
    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit FolderHandles(const ListedFolders *listed = nullptr, std::size_t capacity = kDefaultCapacity);
    ~FolderHandles();
    FolderHandles(const FolderHandles &) = delete;
    FolderHandles &operator=(const FolderHandles &) = delete;

    // A folder held open, and what it is.
    struct Folder {
        int fd = -1;
        FolderIdentity identity;
    };

    // The folder `folder` (the folder part of a path as the file list holds
    // it), opened on first use; nullptr when it cannot be reached or is not
    // the folder listed, with errno set by the failed open (0 for a folder
    // that is not the one listed). Its files are then left alone.
    const Folder *find(std::string_view folder);
    void clear();

private:
    bool open(const std::string &key, Folder &opened);

    const ListedFolders *listed_;
    std::size_t capacity_;
    std::unordered_map<std::string, Folder> held_;
    // The last folder found: files of one folder tend to come together.
    std::string lastPath_;
    const Folder *last_ = nullptr;
};

// Splits a path at its last "/": the folder ("/" for a file in the root,
// "." for a bare name) and the name.
void SplitPath(std::string_view path, std::string_view &folder, std::string_view &name);

} // namespace quillmere
