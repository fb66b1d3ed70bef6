#pragma once

#include "platform/unique_fd.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace quillmere {

// The desktop trash that takes files from one file system, opened: its
// files/ and info/ folders are held open, reached without following a link.
struct TrashFolders {
    UniqueFd files;
    UniqueFd info;
    // The trash folder's path, to tell the user where something lies.
    std::string root;
    // The top folder of the file system whose own trash this is; empty for
    // the trash in the user's data home, whose entries record absolute paths.
    std::string topFolder;
};

// The user's data home: $XDG_DATA_HOME when it is absolute, else
// $HOME/.local/share.
std::string DataHome();

// Opens the trash for files on `device`, making the folders that are missing
// (0700): the trash in the user's data home when it lies on that device,
// else the one at the top of the file system (a shared ".Trash" folder with
// the sticky bit holding a folder of the user's own, or else ".Trash-<uid>").
// `folderPath` is the real path of a folder on that device. Nothing when no
// trash on that device may be used: the move must never cross file systems.
std::optional<TrashFolders> OpenTrashFor(dev_t device, const std::string &folderPath);

} // namespace quillmere
