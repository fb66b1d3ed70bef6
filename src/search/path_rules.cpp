#include "search/path_rules.h"

#include "search/file_list.h"

#include <array>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace quillmere {

namespace {

// The folder names of a path, without empty and "." segments.
std::vector<std::string_view> segments(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// True when `path` lies strictly below the folder given by `prefix` segments.
bool isUnder(const std::vector<std::string_view> &path, const std::vector<std::string_view> &prefix)
{
    if (path.size() <= prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (path[i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool isTrashFolderName(std::string_view name)
{
    if (name == ".Trash") {
        return true;
    }
    constexpr std::string_view stem = ".Trash-";
    if (name.size() <= stem.size() || name.substr(0, stem.size()) != stem) {
        return false;
    }
    for (const char c : name.substr(stem.size())) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsSystemPath(std::string_view path)
{
    if (path.find("Windows") != std::string_view::npos || path.find("Program Files") != std::string_view::npos) {
        return true;
    }
    if (path.empty() || path.front() != '/') {
        return false;
    }
    static const std::array<std::string_view, 13> topTrees
        = { "usr", "proc", "sys", "dev", "run", "etc", "boot", "lib", "lib32", "lib64", "bin", "sbin", "snap" };
    const auto parts = segments(path);
    if (parts.size() < 2) {
        return false;
    }
    for (const auto tree : topTrees) {
        if (parts[0] == tree) {
            return true;
        }
    }
    return parts.size() > 2 && parts[0] == "var" && (parts[1] == "lib" || parts[1] == "cache");
}

void RemoveSystemPaths(FileList &list)
{
    list.removeIf([](std::string_view path) { return IsSystemPath(path); });
}

bool IsInRecycleFolder(std::string_view path, std::string_view dataHome)
{
    if (path.find("RECYCLER") != std::string_view::npos) {
        return true;
    }
    const auto parts = segments(path);
    // Folder names only: the last segment is the file's own name.
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        if (isTrashFolderName(parts[i])) {
            return true;
        }
    }
    if (dataHome.empty() || dataHome.front() != '/' || path.empty() || path.front() != '/') {
        return false;
    }
    auto trash = segments(dataHome);
    trash.push_back("Trash");
    return isUnder(parts, trash);
}

std::string UserDataHome()
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char *home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd *entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') {
        return {};
    }
    return std::string(home) + "/.local/share";
}

} // namespace quillmere
