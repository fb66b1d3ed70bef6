#pragma once

#include "platform/file_identity.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmere {

// Descriptors of folders, opened once by their path (O_PATH), so that the
// files in them are opened or looked up from the folder instead of walking
// the whole path from the root for each file. At most `capacity` folders are
// held, and never more than a quarter of the descriptors the process may
// open; when that is reached the held ones are closed and it starts afresh.
class FolderHandles {
public:
    // Enough for the folders of a large photo archive to stay open at once.
    static constexpr std::size_t kDefaultCapacity = 4096;

    explicit FolderHandles(std::size_t capacity = kDefaultCapacity);
    ~FolderHandles();
    FolderHandles(const FolderHandles &) = delete;
    FolderHandles &operator=(const FolderHandles &) = delete;

    // A folder held open, and what it is.
    struct Folder {
        int fd = -1;
        FolderIdentity identity;
    };

    // The folder `folder` (a path as the file list holds it), opened on
    // first use; nullptr when it cannot be opened (the caller then uses the
    // whole path).
    const Folder *find(std::string_view folder);
    void clear();

private:
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
