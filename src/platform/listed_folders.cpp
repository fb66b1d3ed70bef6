#include "platform/listed_folders.h"

namespace quillmere {

const ListedFolders::Folder *ListedFolders::find(std::string_view key) const
{
    const auto found = folders_.find(key);
    return found == folders_.end() ? nullptr : &found->second;
}

std::string FolderKey(std::string_view folder)
{
    if (!folder.empty() && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    // Files right below the root split as "/" and their name.
    return folder.empty() ? std::string("/") : std::string(folder);
}

} // namespace quillmere
