#include "temp_tree.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere::test {

namespace {
void check(int rc, const std::string &what)
{
    if (rc != 0) {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    }
}
} // namespace

TempTree::TempTree()
    : root_(dir_.path().toStdString())
{
}

TempTree::~TempTree()
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    // Folders a test made unreadable or read-only must open up first.
    ::chmod(root_.c_str(), 0700);
    for (auto it = fs::recursive_directory_iterator(root_, ignored); !ignored && it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            ::chmod(it->path().c_str(), 0700);
        }
    }
    fs::remove_all(root_, ignored);
}

std::string TempTree::path(const std::string &relative) const
{
    return relative.empty() ? root_ : root_ + "/" + relative;
}

std::string TempTree::writeFile(const std::string &relative, const std::string &bytes) const
{
    const std::string full = path(relative);
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + full);
    }
    return full;
}

std::string TempTree::makeFolder(const std::string &relative) const
{
    const std::string full = path(relative);
    check(::mkdir(full.c_str(), 0755), "mkdir " + full);
    return full;
}

std::string TempTree::makeFifo(const std::string &relative) const
{
    const std::string full = path(relative);
    check(::mkfifo(full.c_str(), 0644), "mkfifo " + full);
    return full;
}

std::string TempTree::makeSymlink(const std::string &relative, const std::string &target) const
{
    const std::string full = path(relative);
    check(::symlink(target.c_str(), full.c_str()), "symlink " + full);
    return full;
}

std::string TempTree::readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempTree::exists(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void replaceKeepingTimes(const std::string &path, const std::string &bytes)
{
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0) {
        throw std::runtime_error("cannot look up " + path);
    }
    const std::string fresh = path + ".new";
    std::ofstream(fresh, std::ios::binary) << bytes;
    const struct timespec times[2] = {old.st_atim, old.st_mtim};
    if (::utimensat(AT_FDCWD, fresh.c_str(), times, 0) != 0 || std::rename(fresh.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("cannot replace " + path);
    }
}

} // namespace quillmere::test
