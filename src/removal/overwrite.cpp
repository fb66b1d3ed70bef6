#include "removal/overwrite.h"

#include "common/random_generator.h"
#include "removal/found_file_check.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {

namespace {

// Writes all `count` bytes at `offset`, resuming after short writes.
bool writeAt(int fd, const unsigned char *bytes, std::size_t count, off_t offset)
{
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, bytes, count, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

// A name nobody else uses in the folder. Its randomness comes from the
// system, not from the shared generator, whose values belong to the sorts and
// the overwrite bytes.
std::string privateName()
{
    unsigned char random[8] {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        const auto fallback = static_cast<unsigned long>(::getpid()) ^ static_cast<unsigned long>(::time(nullptr));
        std::memcpy(random, &fallback, std::min(sizeof random, sizeof fallback));
    }
    char name[64];
    std::snprintf(name, sizeof name, ".quillmere-removing-%02x%02x%02x%02x%02x%02x%02x%02x", random[0], random[1],
                  random[2], random[3], random[4], random[5], random[6], random[7]);
    return name;
}

// Renames `from` to `to` in one folder, never replacing an entry.
int renameNoReplace(int folder, const std::string &from, const std::string &to)
{
    const int result = ::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE);
    if (result == 0 || errno != EINVAL) {
        return result;
    }
    // A file system without the flag: look first, then rename.
    struct stat taken {};
    if (::fstatat(folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, from.c_str(), folder, to.c_str());
}

// Whether the name in the folder leads to the file open as `file`.
bool nameLeadsTo(int folder, const std::string &name, const struct stat &file)
{
    struct stat named {};
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, file);
}

// Three passes of fresh generator bytes over the whole file, each flushed.
// `wroteAny` tells whether any byte of the file may have changed.
bool overwritePasses(int fd, bool &wroteAny, const OverwritePassHook &afterPass)
{
    std::array<unsigned char, kOverwriteBlockSize> block {};
    for (int pass = 0; pass < kOverwritePasses; ++pass) {
        for (unsigned char &byte : block) {
            byte = static_cast<unsigned char>(RandomBelow(256));
        }
        struct stat current {};
        if (::fstat(fd, &current) != 0) {
            return false;
        }
        off_t offset = 0;
        off_t left = current.st_size;
        while (left > 0) {
            const auto count = static_cast<std::size_t>(std::min<off_t>(left, kOverwriteBlockSize));
            wroteAny = true;
            if (!writeAt(fd, block.data(), count, offset)) {
                return false;
            }
            offset += static_cast<off_t>(count);
            left -= static_cast<off_t>(count);
        }
        if (::fsync(fd) != 0) {
            return false;
        }
        if (afterPass) {
            afterPass(pass);
        }
    }
    return true;
}

} // namespace

RemovalResult OverwriteAndDeleteFile(const std::string &path, const FoundFile &found,
                                     const OverwritePassHook &afterPass)
{
    FoundFileEntry entry;
    if (const auto problem = entry.open(path, found)) {
        return {*problem, {}};
    }
    // Its other names would lose their content too.
    if (entry.info().st_nlink != 1) {
        return {RemovalOutcome::OtherNames, {}};
    }
    // Read-only by its mode, which holds for the superuser as well.
    if ((entry.info().st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return {RemovalOutcome::NotWritable, {}};
    }
    const int folder = entry.folder();
    UniqueFd file(::openat(folder, entry.name().c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid()) {
        return {errno == ENOENT ? RemovalOutcome::Gone : RemovalOutcome::NotWritable, {}};
    }
    // From here on only the open file counts: it is what gets written.
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || FileIdentityOf(opened) != found.file
        || opened.st_nlink != 1) {
        return {RemovalOutcome::Changed, {}};
    }

    // Take the file out of the way under a private name first: if the folder
    // does not let its entries go, nothing has been destroyed yet.
    std::string hidden;
    for (int attempt = 0; attempt < 8 && hidden.empty(); ++attempt) {
        const std::string candidate = privateName();
        if (renameNoReplace(folder, entry.name(), candidate) == 0) {
            hidden = candidate;
        } else if (errno == ENOENT) {
            return {RemovalOutcome::Gone, {}};
        } else if (errno != EEXIST) {
            return {RemovalOutcome::FolderLocked, {}};
        }
    }
    if (hidden.empty()) {
        return {RemovalOutcome::FolderLocked, {}};
    }
    // A rename racing the one above may have put another file under the
    // marked name just before it: that file gets its name back untouched.
    if (!nameLeadsTo(folder, hidden, opened)) {
        if (renameNoReplace(folder, hidden, entry.name()) != 0) {
            return {RemovalOutcome::Changed, entry.sibling(hidden)};
        }
        return {RemovalOutcome::Changed, {}};
    }

    bool wroteAny = false;
    const bool written = overwritePasses(file.get(), wroteAny, afterPass);
    file.reset();
    if (!written && !wroteAny) {
        if (renameNoReplace(folder, hidden, entry.name()) == 0) {
            return {RemovalOutcome::NotWritten, {}};
        }
        return {RemovalOutcome::NotWritten, entry.sibling(hidden)};
    }
    // Only the private name is ever deleted, and only while it still leads
    // to the file just overwritten.
    if (!nameLeadsTo(folder, hidden, opened) || ::unlinkat(folder, hidden.c_str(), 0) != 0) {
        return {RemovalOutcome::Stranded, entry.sibling(hidden)};
    }
    return {};
}

} // namespace quillmere
