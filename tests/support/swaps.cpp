#include "support/swaps.h"

#include "support/temp_tree.h"

#include <cstdio>
#include <dirent.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmere::test {

namespace {

void moveAside(const std::string &path)
{
    if (::rename(path.c_str(), (path + ".old").c_str()) != 0) {
        throw std::runtime_error("cannot move aside " + path);
    }
}

std::vector<std::string> regularFilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        throw std::runtime_error("cannot list " + folder);
    }
    while (const dirent *entry = ::readdir(dir)) {
        struct stat info {};
        const std::string name = entry->d_name;
        if (::lstat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

} // namespace

void swapFolderForLink(const std::string &folder, const std::string &target)
{
    moveAside(folder);
    if (::symlink(target.c_str(), folder.c_str()) != 0) {
        throw std::runtime_error("cannot link " + folder);
    }
}

void swapFolderForCopy(const std::string &folder)
{
    moveAside(folder);
    const std::string old = folder + ".old";
    if (::mkdir(folder.c_str(), 0755) != 0) {
        throw std::runtime_error("cannot make " + folder);
    }
    for (const std::string &name : regularFilesIn(old)) {
        const std::string bytes = TempTree::readFile(old + "/" + name);
        const std::string copy = folder + "/" + name;
        std::FILE *out = std::fopen(copy.c_str(), "wb");
        const bool written = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (out == nullptr || std::fclose(out) != 0 || !written) {
            throw std::runtime_error("cannot copy to " + copy);
        }
    }
}

void swapFileForHardLink(const std::string &file, const std::string &original)
{
    moveAside(file);
    if (::link(original.c_str(), file.c_str()) != 0) {
        throw std::runtime_error("cannot link " + file);
    }
}

} // namespace quillmere::test
