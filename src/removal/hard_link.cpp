#include "removal/hard_link.h"

#include "removal/found_file_check.h"
#include "removal/removal_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

// Whether a file still has the length and content time the comparison read.
// Its change time is not compared: a new link or a rename moves it.
bool sameContent(const struct stat &now, const FileIdentity &read)
{
    const FileIdentity identity = FileIdentityOf(now);
    return S_ISREG(now.st_mode) && identity.device == read.device && identity.inode == read.inode
        && identity.size == read.size && identity.modifiedNs == read.modifiedNs;
}

// Links the open file under `name` in the folder `folder`. Through /proc,
// which any user may do with a file they could open; without /proc, by the
// descriptor itself, which kernels before 6.10 allow only with a privilege
// most users lack.
int linkOpenFile(int file, int folder, const std::string &name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::linkat(file, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Whether a found file stands in its folder with the content the search
// read. Its change time is left out: each link made to it or taken from it
// (an earlier file of the pass) moves that.
bool standsWithContent(FoundFileEntry &entry, const std::string &path, const FoundFile &found)
{
    const std::optional<RemovalOutcome> problem = entry.open(path, found);
    return !problem || (*problem == RemovalOutcome::Changed && sameContent(entry.info(), found.file));
}

RemovalResult notLinked(int error)
{
    return {RemovalOutcome::NotLinked, {}, std::strerror(error)};
}

} // namespace

bool KeptCopyStands(const std::string &path, const FoundFile &kept)
{
    FoundFileEntry entry;
    return standsWithContent(entry, path, kept);
}

RemovalResult ReplaceWithHardLink(const std::string &path, const FoundFile &found, const std::string &keptPath,
                                  const FoundFile &kept, const BeforeSwapHook &beforeSwap)
{
    FoundFileEntry entry;
    if (!standsWithContent(entry, path, found)) {
        const std::optional<RemovalOutcome> problem = entry.open(path, found);
        return {problem.value_or(RemovalOutcome::Changed)};
    }
    FoundFileEntry keptEntry;
    if (!standsWithContent(keptEntry, keptPath, kept)) {
        return {RemovalOutcome::KeptChanged};
    }
    if (SameFile(entry.info(), keptEntry.info())) {
        return {RemovalOutcome::AlreadyLinked};
    }
    if (entry.info().st_dev != keptEntry.info().st_dev) {
        return {RemovalOutcome::OtherFileSystem};
    }
    // From here on only the open kept copy counts: it is what gets linked.
    // Held by a path descriptor: linking needs no read access, and nothing
    // is opened that could block.
    UniqueFd keptFile(::openat(keptEntry.folder(), keptEntry.name().c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (!keptFile.valid() || ::fstat(keptFile.get(), &opened) != 0 || !sameContent(opened, kept.file)) {
        return {RemovalOutcome::KeptChanged};
    }

    RemovalFolder hidden;
    if (const int error = hidden.make(entry.folder())) {
        return {RemovalOutcome::FolderLocked, {}, std::strerror(error)};
    }
    const std::string &name = entry.name();
    if (const int error = linkOpenFile(keptFile.get(), hidden.fd(), name)) {
        hidden.remove();
        // Two mounts of one file system share a device number, yet no link
        // crosses from one to the other.
        return error == EXDEV ? RemovalResult {RemovalOutcome::OtherFileSystem} : notLinked(error);
    }
    // Drops the link again and the folder with it; `opened` is the kept
    // copy, so only a name of it is ever unlinked here.
    const auto dropLink = [&] {
        if (hidden.holds(name, opened)) {
            ::unlinkat(hidden.fd(), name.c_str(), 0);
        }
        hidden.remove();
    };
    struct stat keptNow {};
    if (!hidden.holds(name, opened) || ::fstat(keptFile.get(), &keptNow) != 0 || !sameContent(keptNow, kept.file)) {
        dropLink();
        return {RemovalOutcome::KeptChanged};
    }

    if (beforeSwap) {
        beforeSwap();
    }
    if (const int error = hidden.swapWithParent(name)) {
        dropLink();
        if (error == ENOENT) {
            return {RemovalOutcome::Gone};
        }
        return error == EINVAL ? RemovalResult {RemovalOutcome::NotLinked, {},
                                                "the file system cannot swap two names in one step"}
                               : notLinked(error);
    }
    // The marked name now leads to the kept copy; what it led to lies in the
    // private folder, out of every other user's reach.
    struct stat taken {};
    const bool markedTaken = ::fstatat(hidden.fd(), name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0
        && sameContent(taken, found.file);
    struct stat keptNamed {};
    const bool keptUnchanged = ::fstat(keptFile.get(), &keptNow) == 0 && sameContent(keptNow, kept.file)
        && ::fstatat(keptEntry.folder(), keptEntry.name().c_str(), &keptNamed, AT_SYMLINK_NOFOLLOW) == 0
        && SameFile(keptNamed, opened);
    if (!markedTaken || !keptUnchanged) {
        // Another file was put under the marked name, or the kept copy was
        // written to or is no longer under its name: whatever the marked
        // name led to gets it back.
        const std::string inside = entry.sibling(hidden.name()) + "/" + name;
        if (hidden.swapWithParent(name) != 0 || !hidden.holds(name, opened)) {
            // The swap back met yet another file under the marked name: it
            // stays there, and what came out lies inside, untouched.
            return {RemovalOutcome::Changed, inside};
        }
        dropLink();
        return {markedTaken ? RemovalOutcome::KeptChanged : RemovalOutcome::Changed};
    }
    if (::unlinkat(hidden.fd(), name.c_str(), 0) != 0) {
        return {RemovalOutcome::LinkedNotFreed, entry.sibling(hidden.name()) + "/" + name};
    }
    hidden.remove();
    RemovalResult result;
    result.bytesFreed = taken.st_nlink == 1 ? static_cast<std::int64_t>(taken.st_size) : 0;
    return result;
}

} // namespace quillmere
