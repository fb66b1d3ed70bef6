#pragma once

#include "platform/unique_fd.h"

#include <functional>
#include <string>
#include <sys/stat.h>

namespace quillmere {

// The folder of its own that the overwrite makes beside a marked file and
// moves the file into, under the file's own name, before it writes a byte.
// Only its owner may enter it, so no other user can learn the names inside
// or put another file under them; everything inside is reached through its
// descriptor, so a rename of the folder itself changes nothing.
//
// Once the first byte is about to be written, a marker (a subfolder) is made
// inside and flushed: a folder left behind by an interrupted run then tells
// whether its file is untouched (no marker) or written in part.
class RemovalFolder {
public:
    // Makes a new folder in the folder open as `parent` and opens it,
    // checked to be the empty folder just made, for this user alone. Returns
    // 0, or the errno of the parent refusing the new entry.
    int make(int parent);
    // Opens the existing folder `name` of `parent` when it is one of this
    // user's removal folders (a real folder, not a link). False otherwise.
    bool open(int parent, const std::string &name);

    int fd() const { return fd_.get(); }
    const std::string &name() const { return name_; }

    // Moves the entry `fileName` of the parent into this folder under the
    // same name, or back out, never replacing an entry. 0 or the errno.
    int moveIn(const std::string &fileName);
    int moveBack(const std::string &fileName);
    // Whether `fileName` inside leads to the file described by `file`.
    bool holds(const std::string &fileName, const struct stat &file) const;
    // Swaps the entry `fileName` inside with the parent's entry of the same
    // name in one step, so the parent's name never goes missing. 0 or the
    // errno (EINVAL where the file system cannot swap names).
    int swapWithParent(const std::string &fileName);

    // Makes and flushes the marker that writing began; `fileName` is the
    // name the marker must not take.
    bool markWriting(const std::string &fileName);
    // Removes the marker again.
    bool unmarkWriting();

    // Removes the folder from its parent, while the parent's entry still
    // leads to it and it is empty.
    bool remove();

private:
    int parent_ = -1;
    UniqueFd fd_;
    std::string name_;
    std::string marker_;
    struct stat info_ {};
};

// Whether the folder open as `fd` holds no entries.
bool FolderIsEmpty(int fd);

// Calls `visit` with the name of each entry of the folder open as `fd` ("."
// and ".." left out) until it returns false. Returns false when the folder
// cannot be read, or its reading fails before `visit` stops it.
bool VisitEntryNames(int fd, const std::function<bool(const std::string &name)> &visit);

} // namespace quillmere
