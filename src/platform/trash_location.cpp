#include "platform/trash_location.h"

#include "platform/file_identity.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmere {

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string homeFolder()
{
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    struct passwd entry {};
    struct passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr
        && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

// The device the path would lie on: that of the path, or of the nearest
// folder above it that exists.
std::optional<dev_t> deviceOfPath(std::string path)
{
    for (;;) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            return info.st_dev;
        }
        if (errno != ENOENT || path == "/") {
            return std::nullopt;
        }
        path = FolderOfPath(path);
    }
}

// Makes every missing folder of an absolute path, 0700 (as the data home is).
bool makeFolders(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

// A real folder (not a link) named `name` in `parent`, made 0700 when missing,
// on `device`; with `ownerOnly`, it must belong to the user as well.
UniqueFd openOrMakeFolder(int parent, const std::string &name, dev_t device, bool ownerOnly)
{
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        return UniqueFd();
    }
    UniqueFd folder(::openat(parent, name.c_str(), kFolderFlags));
    struct stat info {};
    if (!folder.valid() || ::fstat(folder.get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_dev != device
        || (ownerOnly && info.st_uid != ::getuid())) {
        return UniqueFd();
    }
    return folder;
}

// The files/ and info/ folders of the trash folder open as `trash`.
std::optional<TrashFolders> openParts(int trash, dev_t device, std::string root, std::string topFolder)
{
    TrashFolders folders {openOrMakeFolder(trash, "files", device, false),
                          openOrMakeFolder(trash, "info", device, false), std::move(root), std::move(topFolder)};
    if (!folders.files.valid() || !folders.info.valid()) {
        return std::nullopt;
    }
    return folders;
}

std::optional<TrashFolders> openHomeTrash(const std::string &dataHome, dev_t device)
{
    const std::string root = dataHome == "/" ? "/Trash" : dataHome + "/Trash";
    if (!makeFolders(dataHome)) {
        return std::nullopt;
    }
    UniqueFd home(::open(dataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!home.valid()) {
        return std::nullopt;
    }
    const UniqueFd trash = openOrMakeFolder(home.get(), "Trash", device, true);
    if (!trash.valid()) {
        return std::nullopt;
    }
    return openParts(trash.get(), device, root, {});
}

// The highest folder above (or at) `folderPath` that still lies on `device`:
// where that file system is mounted.
std::string topFolderOf(const std::string &folderPath, dev_t device)
{
    std::string top = folderPath;
    while (top != "/") {
        const std::string parent = FolderOfPath(top);
        struct stat info {};
        if (::stat(parent.c_str(), &info) != 0 || info.st_dev != device) {
            break;
        }
        top = parent;
    }
    return top;
}

std::optional<TrashFolders> openVolumeTrash(const std::string &folderPath, dev_t device)
{
    const std::string top = topFolderOf(folderPath, device);
    UniqueFd topFolder(::open(top.c_str(), kFolderFlags));
    struct stat topInfo {};
    if (!topFolder.valid() || ::fstat(topFolder.get(), &topInfo) != 0 || topInfo.st_dev != device) {
        return std::nullopt;
    }
    const std::string prefix = top == "/" ? "/" : top + "/";
    const std::string uid = std::to_string(::getuid());

    // A trash shared by all users: a real folder with the sticky bit, so
    // nobody removes another user's folder in it.
    const UniqueFd shared(::openat(topFolder.get(), ".Trash", kFolderFlags));
    struct stat sharedInfo {};
    if (shared.valid() && ::fstat(shared.get(), &sharedInfo) == 0 && S_ISDIR(sharedInfo.st_mode)
        && (sharedInfo.st_mode & S_ISVTX) != 0 && sharedInfo.st_dev == device) {
        const UniqueFd own = openOrMakeFolder(shared.get(), uid, device, true);
        if (own.valid()) {
            if (auto folders = openParts(own.get(), device, prefix + ".Trash/" + uid, top)) {
                return folders;
            }
        }
    }
    const std::string ownName = ".Trash-" + uid;
    const UniqueFd own = openOrMakeFolder(topFolder.get(), ownName, device, true);
    if (!own.valid()) {
        return std::nullopt;
    }
    return openParts(own.get(), device, prefix + ownName, top);
}

} // namespace

std::string DataHome()
{
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        return withoutTrailingSlashes(dataHome);
    }
    const std::string home = withoutTrailingSlashes(homeFolder());
    if (home.empty()) {
        return {};
    }
    return (home == "/" ? std::string() : home) + "/.local/share";
}

std::optional<TrashFolders> OpenTrashFor(dev_t device, const std::string &folderPath)
{
    const std::string dataHome = DataHome();
    if (!dataHome.empty()) {
        const std::string homeTrash = dataHome == "/" ? "/Trash" : dataHome + "/Trash";
        if (deviceOfPath(homeTrash) == device) {
            return openHomeTrash(dataHome, device);
        }
    }
    if (folderPath.empty() || folderPath[0] != '/') {
        return std::nullopt;
    }
    return openVolumeTrash(folderPath, device);
}

} // namespace quillmere
