#pragma once

#include "platform/unique_fd.h"

#include <optional>
#include <string>

namespace quillmere {

// An entry just moved into the desktop trash, with what it takes to look at
// it there and to take the move back.
class TrashedEntry {
public:
    TrashedEntry(UniqueFd files, UniqueFd info, std::string trashRoot, std::string name);

    // The trash's files/ folder, held open, and the entry's name in it.
    int filesFolder() const { return files_.get(); }
    const std::string &name() const { return name_; }
    // Where the entry lies, to tell the user.
    std::string path() const;

    // Moves the entry back to `name` in the folder open as `folder`, never
    // replacing an entry there, and drops its info entry. False when that
    // cannot be done; the entry then stays in the trash, restorable.
    bool putBack(int folder, const std::string &name);

private:
    UniqueFd files_;
    UniqueFd info_;
    std::string root_;
    std::string name_;
};

enum class TrashMoveStatus {
    Moved,
    Gone,    // nothing has that name in the folder
    Refused, // no usable trash on its file system, or the move was not allowed
};

struct TrashMove {
    TrashMoveStatus status = TrashMoveStatus::Refused;
    std::optional<TrashedEntry> entry; // when moved
};

// Moves whatever `name` in the folder open as `folder` leads to (a link is
// moved as a link) into the desktop trash of its file system, by a rename from
// that folder, never by a path and never as a copy. Its info entry, which
// lets desktops list and restore it, is written first and removed again when
// the move fails.
TrashMove MoveToTrash(int folder, const std::string &name);

} // namespace quillmere
