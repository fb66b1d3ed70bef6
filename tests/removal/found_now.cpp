#include "found_now.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmere::test {

FoundFile foundNow(const std::string &path)
{
    struct stat file {};
    struct stat folder {};
    if (::lstat(path.c_str(), &file) != 0 || ::stat(FolderOfPath(path).c_str(), &folder) != 0) {
        throw std::runtime_error("cannot look up " + path);
    }
    return FoundFile {FileIdentityOf(file), FolderIdentityOf(folder)};
}

std::set<std::string> entriesOf(const std::string &folder)
{
    std::set<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

std::string contentOf(int fd)
{
    std::string content;
    char buffer[4096];
    for (ssize_t got; (got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(content.size()))) > 0;) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

void letEveryoneThroughAbove(const std::string &root)
{
    namespace fs = std::filesystem;
    for (fs::path above = fs::path(root).parent_path(); above != above.root_path(); above = above.parent_path()) {
        struct stat info {};
        if (::stat(above.c_str(), &info) == 0 && (info.st_mode & S_IXOTH) == 0) {
            ::chmod(above.c_str(), (info.st_mode & 07777) | S_IXOTH);
        }
    }
}

int asUnprivilegedUser(const std::string &root, const std::function<int()> &body)
{
    if (::geteuid() != 0) {
        return body();
    }
    namespace fs = std::filesystem;
    // Every folder above the tree must let the user through.
    letEveryoneThroughAbove(root);
    ::lchown(root.c_str(), 65534, 65534);
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        ::lchown(entry.path().c_str(), 65534, 65534);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(255);
        }
        ::_exit(body() & 0xFF);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chown(root.c_str(), 0, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

} // namespace quillmere::test
