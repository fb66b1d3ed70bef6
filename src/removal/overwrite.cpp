#include "removal/overwrite.h"

#include "removal/found_file_check.h"
#include "removal/removal_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

std::string errorText(int error)
{
    return std::strerror(error);
}

// Whether the open file still has the length and content time the
// comparison read; its change time moved with the rename.
bool sameContentState(const struct stat &now, const FoundFile &found)
{
    const FileIdentity identity = FileIdentityOf(now);
    return identity.device == found.file.device && identity.inode == found.file.inode
        && identity.size == found.file.size && identity.modifiedNs == found.file.modifiedNs;
}

} // namespace

RemovalResult OverwriteAndDeleteFile(const std::string &path, const FoundFile &found,
                                     const OverwritePassHook &afterPass, const BeforeFirstWriteHook &beforeFirstWrite)
{
    FoundFileEntry entry;
    if (const auto problem = entry.open(path, found)) {
        return {*problem, {}, {}};
    }
    // Its other names would lose their content too.
    if (entry.info().st_nlink != 1) {
        return {RemovalOutcome::OtherNames, {}, {}};
    }
    // Read-only by its mode, which holds for the superuser as well.
    if ((entry.info().st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return {RemovalOutcome::NotWritable, {}, {}};
    }
    const std::string &name = entry.name();
    UniqueFd file(::openat(entry.folder(), name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid()) {
        return {errno == ENOENT ? RemovalOutcome::Gone : RemovalOutcome::NotWritable, {}, {}};
    }
    // From here on only the open file counts: it is what gets written.
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || FileIdentityOf(opened) != found.file
        || opened.st_nlink != 1) {
        return {RemovalOutcome::Changed, {}, {}};
    }

    // Out of every other user's reach first: if the folder takes no new
    // entry or does not let the file go, nothing has been destroyed yet.
    RemovalFolder hidden;
    if (const int error = hidden.make(entry.folder())) {
        return {RemovalOutcome::FolderLocked, {}, errorText(error)};
    }
    if (const int error = hidden.moveIn(name)) {
        hidden.remove();
        // ENOENT also comes when the new folder itself was taken away.
        struct stat named {};
        const bool gone = ::fstatat(entry.folder(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0
            || !SameFile(named, opened);
        if (error == ENOENT && gone) {
            return {RemovalOutcome::Gone, {}, {}};
        }
        return {RemovalOutcome::FolderLocked, {}, errorText(error)};
    }
    const std::string inside = entry.sibling(hidden.name()) + "/" + name;
    // Gives whatever was moved in its name back, untouched.
    const auto putBack = [&](RemovalOutcome outcome, const std::string &detail) -> RemovalResult {
        if (hidden.moveBack(name) != 0) {
            return {outcome, inside, detail};
        }
        hidden.remove();
        return {outcome, {}, detail};
    };
    // A rename racing the move may have put another file under the marked
    // name just before it.
    if (!hidden.holds(name, opened)) {
        return putBack(RemovalOutcome::Changed, {});
    }

    if (beforeFirstWrite) {
        beforeFirstWrite();
    }
    // A program still writing the file: it keeps its content.
    struct stat before {};
    if (::fstat(file.get(), &before) != 0 || !sameContentState(before, found) || before.st_nlink != 1) {
        return putBack(RemovalOutcome::Changed, {});
    }
    if (!hidden.markWriting(name)) {
        const int error = errno;
        hidden.unmarkWriting();
        return putBack(RemovalOutcome::NotWritten, errorText(error));
    }
    const OverwriteProgress progress = OverwriteContent(file.get(), before.st_size, afterPass);
    if (!progress.complete && !progress.wroteAny) {
        if (!hidden.unmarkWriting()) {
            // Still marked as written in part: it stays inside, where a later
            // search finishes it.
            return {RemovalOutcome::NotWritten, inside, errorText(progress.error)};
        }
        return putBack(RemovalOutcome::NotWritten, errorText(progress.error));
    }

    // Only the inode written is deleted: the name must still lead to it, and
    // its link count must have dropped to 0 with that name.
    struct stat written {};
    const bool sizeKept = ::fstat(file.get(), &written) == 0 && written.st_size == before.st_size;
    if (!hidden.holds(name, opened) || ::unlinkat(hidden.fd(), name.c_str(), 0) != 0) {
        return {RemovalOutcome::Stranded, inside, {}};
    }
    struct stat after {};
    if (::fstat(file.get(), &after) != 0 || after.st_nlink != 0) {
        return {RemovalOutcome::Stranded, {}, "another name of it remains"};
    }
    file.reset();
    hidden.unmarkWriting();
    hidden.remove();
    if (!progress.complete) {
        return {RemovalOutcome::Incomplete, {}, errorText(progress.error)};
    }
    if (!sizeKept) {
        return {RemovalOutcome::Incomplete, {}, "another program wrote to it meanwhile"};
    }
    return {};
}

} // namespace quillmere
