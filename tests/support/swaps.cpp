#include "support/swaps.h"

#include <filesystem>

namespace quillmere::test {

namespace fs = std::filesystem;

namespace {

void moveAside(const std::string &path)
{
    fs::rename(path, path + ".old");
}

} // namespace

void swapFolderForLink(const std::string &folder, const std::string &target)
{
    moveAside(folder);
    fs::create_directory_symlink(target, folder);
}

void swapFolderForCopy(const std::string &folder)
{
    moveAside(folder);
    // A new folder, so another inode, holding new copies of the files.
    fs::copy(folder + ".old", folder);
}

void swapFileForHardLink(const std::string &file, const std::string &original)
{
    moveAside(file);
    fs::create_hard_link(original, file);
}

} // namespace quillmere::test
