#pragma once

#include "platform/folder_handles.h"
#include "platform/listed_folders.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace quillmere::test {

// For lists made by hand rather than by a listing: records the folder of
// `path` as a listing that started there would have.
inline void listFolderOf(ListedFolders &listed, const std::string &path)
{
    std::string_view folder;
    std::string_view name;
    SplitPath(path, folder, name);
    struct stat info {};
    ASSERT_EQ(::stat(std::string(folder).c_str(), &info), 0) << path;
    listed.addStart(folder, FolderIdentityOf(info));
}

} // namespace quillmere::test
