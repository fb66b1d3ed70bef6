#include "removal/leftovers.h"

#include "platform/file_identity.h"
#include "platform/path_text.h"
#include "platform/unique_fd.h"
#include "removal/overwrite_passes.h"
#include "removal/removal_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmere {

namespace {

using Action = LeftoverResult::Action;

std::string joined(const std::string &folder, const std::string &name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// The entries of a removal folder by kind: files, markers (folders) and
// anything else.
struct Contents {
    std::vector<std::string> files;
    std::vector<std::string> markers;
    bool other = false;
};

bool readContents(int folder, Contents &contents)
{
    return VisitEntryNames(folder, [&](const std::string &name) {
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            contents.other = true;
        } else if (S_ISREG(info.st_mode)) {
            contents.files.push_back(name);
        } else if (S_ISDIR(info.st_mode)) {
            contents.markers.push_back(name);
        } else {
            contents.other = true;
        }
        return true;
    });
}

// Whether two open files hold the same bytes.
bool sameBytes(int a, int b)
{
    struct stat infoA {};
    struct stat infoB {};
    if (::fstat(a, &infoA) != 0 || ::fstat(b, &infoB) != 0 || infoA.st_size != infoB.st_size) {
        return false;
    }
    std::vector<char> bufferA(65536);
    std::vector<char> bufferB(65536);
    for (off_t offset = 0; offset < infoA.st_size;) {
        const ssize_t gotA = ::pread(a, bufferA.data(), bufferA.size(), offset);
        const ssize_t gotB = ::pread(b, bufferB.data(), bufferB.size(), offset);
        if (gotA <= 0 || gotA != gotB || std::memcmp(bufferA.data(), bufferB.data(), static_cast<std::size_t>(gotA)) != 0) {
            return false;
        }
        offset += gotA;
    }
    return true;
}

// Removes the untouched file `name` of the folder when the same name in the
// folder above holds the very same bytes: a replacement by a hard link that
// was cut short leaves either an extra name of the kept copy or the replaced
// file inside, and in both its content stays under the name.
bool removeSurplusCopy(RemovalFolder &folder, int parent, const std::string &name)
{
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const UniqueFd inside(::openat(folder.fd(), name.c_str(), kFlags));
    const UniqueFd named(::openat(parent, name.c_str(), kFlags));
    struct stat insideInfo {};
    struct stat namedInfo {};
    if (!inside.valid() || !named.valid() || ::fstat(inside.get(), &insideInfo) != 0
        || ::fstat(named.get(), &namedInfo) != 0 || !S_ISREG(insideInfo.st_mode) || !S_ISREG(namedInfo.st_mode)
        || !sameBytes(inside.get(), named.get())) {
        return false;
    }
    return folder.holds(name, insideInfo) && ::unlinkat(folder.fd(), name.c_str(), 0) == 0;
}

void removeMarkers(RemovalFolder &folder, const Contents &contents)
{
    for (const std::string &marker : contents.markers) {
        ::unlinkat(folder.fd(), marker.c_str(), AT_REMOVEDIR);
    }
}

// Overwrites and deletes the file `name` of the folder, written in part
// before.
LeftoverResult finishWritten(RemovalFolder &folder, const std::string &name, const std::string &path)
{
    UniqueFd file(::openat(folder.fd(), name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!file.valid()) {
        return {Action::LeftAlone, path, std::strerror(errno)};
    }
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        return {Action::LeftAlone, path, "it is no longer a file with this one name"};
    }
    const OverwriteProgress progress = OverwriteContent(file.get(), info.st_size);
    if (!folder.holds(name, info) || ::unlinkat(folder.fd(), name.c_str(), 0) != 0) {
        return {Action::LeftAlone, path, "it could not be deleted"};
    }
    return {Action::Finished, path, progress.complete ? std::string() : std::strerror(progress.error)};
}

LeftoverResult finishFolder(const std::string &folderPath)
{
    const std::string parentPath = FolderOfPath(folderPath);
    UniqueFd parent(::open(parentPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    RemovalFolder folder;
    if (!parent.valid() || !folder.open(parent.get(), NameOfPath(folderPath))) {
        return {Action::LeftAlone, folderPath, "it is no longer a folder of this user's removals"};
    }
    Contents contents;
    if (!readContents(folder.fd(), contents) || contents.other || contents.files.size() > 1) {
        return {Action::LeftAlone, folderPath, "it holds more than the one file it was made for"};
    }
    if (contents.files.empty()) {
        removeMarkers(folder, contents);
        if (!folder.remove()) {
            return {Action::LeftAlone, folderPath, "it could not be removed"};
        }
        return {Action::EmptyRemoved, folderPath, {}};
    }
    const std::string &name = contents.files.front();
    const std::string inside = joined(folderPath, name);
    if (!contents.markers.empty()) {
        LeftoverResult result = finishWritten(folder, name, inside);
        if (result.action == Action::Finished) {
            removeMarkers(folder, contents);
            folder.remove();
        }
        return result;
    }
    if (const int error = folder.moveBack(name)) {
        if (error == EEXIST && removeSurplusCopy(folder, parent.get(), name)) {
            folder.remove();
            return {Action::Surplus, joined(parentPath, name), {}};
        }
        if (error == EEXIST) {
            return {Action::NameTaken, inside, {}};
        }
        return {Action::LeftAlone, inside, std::strerror(error)};
    }
    folder.remove();
    return {Action::PutBack, joined(parentPath, name), {}};
}

} // namespace

std::vector<LeftoverResult> FinishLeftovers(const std::vector<std::string> &folders)
{
    std::vector<LeftoverResult> results;
    for (const std::string &folder : folders) {
        results.push_back(finishFolder(folder));
    }
    return results;
}

QString LeftoverLine(const LeftoverResult &result)
{
    QString words;
    switch (result.action) {
    case Action::PutBack:
        words = QStringLiteral("left untouched by an interrupted removal; put back under its name");
        break;
    case Action::NameTaken:
        words = QStringLiteral("left untouched by an interrupted removal; its name is taken by another file, so it "
                               "stays here");
        break;
    case Action::Surplus:
        words = QStringLiteral("an interrupted removal left a second copy of it; the copy was removed");
        break;
    case Action::Finished:
        words = result.detail.empty()
            ? QStringLiteral("partly overwritten by an interrupted removal; now overwritten three times and deleted")
            : QStringLiteral("partly overwritten by an interrupted removal; overwritten again only in part (")
                + QString::fromStdString(result.detail)
                + QStringLiteral(") and deleted, so some of its old content may remain on the disk");
        break;
    case Action::EmptyRemoved:
        words = QStringLiteral("an empty folder left by an interrupted removal; removed");
        break;
    case Action::LeftAlone:
        words = QStringLiteral("left by an interrupted removal; left as it lies, because ")
            + QString::fromStdString(result.detail);
        break;
    }
    return ShownPath(result.path) + QStringLiteral(" \u2014 ") + words;
}

} // namespace quillmere
