#include "platform/trash.h"

#include "platform/trash_location.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

const std::string kInfoSuffix = ".trashinfo";
// How many names are tried when earlier entries hold the file's name.
constexpr int kMaxNameAttempts = 100000;
// Room left in a name for ".<attempt>" and the info suffix.
constexpr std::size_t kMaxBaseName = NAME_MAX - 7 - 10;

// The path of an open folder, as the kernel knows it now; it follows the
// folder wherever it was renamed to, and holds no link.
std::optional<std::string> pathOfFolder(int folder)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link, path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size() || path[0] != '/') {
        return std::nullopt;
    }
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// The entry's name in the trash: its own name, cut to leave room for a
// number and the info suffix (at a character boundary when the name is
// UTF-8), then "name.2", "name.3"... when that is taken.
std::string nameInTrash(const std::string &name, int attempt)
{
    std::string base = name;
    if (base.size() > kMaxBaseName) {
        std::size_t cut = kMaxBaseName;
        while (cut > 1 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        base.resize(cut);
    }
    return attempt == 1 ? base : base + "." + std::to_string(attempt);
}

// Every byte but letters, digits, "-._~" and "/" as %XX, so that any byte
// string, UTF-8 or not, survives in the line-based info text.
std::string percentEncoded(const std::string &path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')
            || byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

bool writeAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// The path the entry is restored to: absolute in the home trash, relative to
// the top folder in a file system's own trash.
std::string recordedPath(const std::string &folderPath, const std::string &name, const std::string &topFolder)
{
    const std::string full = folderPath == "/" ? "/" + name : folderPath + "/" + name;
    if (topFolder.empty()) {
        return full;
    }
    const std::size_t skip = topFolder == "/" ? 1 : topFolder.size() + 1;
    return full.substr(skip);
}

// The text of an info entry: the original path and the local time of the
// deletion.
std::string infoText(const std::string &originalPath, std::time_t deletedAt)
{
    struct tm local {};
    char date[32] = "";
    if (::localtime_r(&deletedAt, &local) != nullptr) {
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    }
    return "[Trash Info]\nPath=" + percentEncoded(originalPath) + "\nDeletionDate=" + date + "\n";
}

} // namespace

TrashedEntry::TrashedEntry(UniqueFd files, UniqueFd info, std::string trashRoot, std::string name)
    : files_(std::move(files))
    , info_(std::move(info))
    , root_(std::move(trashRoot))
    , name_(std::move(name))
{
}

std::string TrashedEntry::path() const
{
    return root_ + "/files/" + name_;
}

bool TrashedEntry::putBack(int folder, const std::string &name)
{
    if (::renameat2(files_.get(), name_.c_str(), folder, name.c_str(), RENAME_NOREPLACE) != 0) {
        return false;
    }
    ::unlinkat(info_.get(), (name_ + kInfoSuffix).c_str(), 0);
    return true;
}

TrashMove MoveToTrash(int folder, const std::string &name)
{
    struct stat folderInfo {};
    if (name.empty() || name.find('/') != std::string::npos || ::fstat(folder, &folderInfo) != 0) {
        return {};
    }
    const std::optional<std::string> folderPath = pathOfFolder(folder);
    if (!folderPath) {
        return {};
    }
    std::optional<TrashFolders> trash = OpenTrashFor(folderInfo.st_dev, *folderPath);
    if (!trash) {
        return {};
    }
    const std::string info = infoText(recordedPath(*folderPath, name, trash->topFolder), std::time(nullptr));

    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = nameInTrash(name, attempt);
        struct stat taken {};
        if (::fstatat(trash->files.get(), candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
            continue;
        }
        const std::string infoName = candidate + kInfoSuffix;
        UniqueFd infoFile(::openat(trash->info.get(), infoName.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!infoFile.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return {};
        }
        const bool written = writeAll(infoFile.get(), info);
        infoFile.reset();
        if (written
            && ::renameat2(folder, name.c_str(), trash->files.get(), candidate.c_str(), RENAME_NOREPLACE) == 0) {
            return {TrashMoveStatus::Moved,
                    TrashedEntry(std::move(trash->files), std::move(trash->info), trash->root, candidate)};
        }
        const int error = written ? errno : EIO;
        ::unlinkat(trash->info.get(), infoName.c_str(), 0);
        if (error == EEXIST) {
            continue; // an entry of that name arrived in files/ meanwhile
        }
        return {error == ENOENT ? TrashMoveStatus::Gone : TrashMoveStatus::Refused, std::nullopt};
    }
    return {};
}

} // namespace quillmere
