#pragma once

#include "platform/file_identity.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillmere {

// The folders a listing opened, each under the folder part of the paths of
// its files (see FolderKey), with the identity it had when it was listed:
// one entry per folder, none per file. Later stages reach a folder only as
// the listing did and only while it is still the folder that was listed, so
// a folder replaced meanwhile (by a link or by another folder) is left out.
class ListedFolders {
public:
    struct Folder {
        FolderIdentity identity;
        // Opened by its path as the user named it (links on the way are
        // followed); every other folder is reached by name from the folder
        // above it, never through a link.
        bool start = false;
    };

    void addStart(std::string_view key, FolderIdentity identity) { set(key, Folder {identity, true}); }
    void add(std::string_view key, FolderIdentity identity) { set(key, Folder {identity, false}); }
    // The folder listed under `key`, or nullptr when none was.
    const Folder *find(std::string_view key) const;
    std::size_t count() const { return folders_.size(); }
    void clear() { folders_.clear(); }

private:
    void set(std::string_view key, Folder folder) { folders_.insert_or_assign(std::string(key), folder); }

    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view> {}(key); }
    };
    std::unordered_map<std::string, Folder, KeyHash, std::equal_to<>> folders_;
};

// The key of the folder `folder` (a path ending with "/"): the folder part
// that SplitPath gives for a path made of `folder` and a file name.
std::string FolderKey(std::string_view folder);

} // namespace quillmere
