#pragma once

#include "platform/file_identity.h"
#include "removal/removal_outcome.h"

#include <functional>
#include <string>

namespace quillmere {

// Called once the link to the kept copy lies ready in its private folder,
// just before it takes the marked file's place.
using BeforeSwapHook = std::function<void()>;

// Replaces the found file at `path` by a hard link to the found file at
// `keptPath`, an identical copy on the same file system, so that the path
// keeps working with the same content and the marked file's space comes
// back once no other name holds it.
//
// Both files are reached through their folders, which must be the ones the
// search saw, and must be the very files the comparison read, unchanged; no
// symbolic link is followed. The kept copy is opened and linked by its
// descriptor, so the link is to the file checked, never to whatever its name
// leads to a moment later. The link is made under the marked file's name in
// a new folder beside it that only this user may enter (see RemovalFolder),
// then swapped with the marked name in one step, so the name always leads to
// one of the two. What the swap took out is checked before anything is let
// go: unless it is the marked file, unchanged, and the kept copy is still
// unchanged under its own name, the swap is undone and the file is left as
// it was.
//
// A kept copy on another file system (or mount) gives OtherFileSystem; one
// that is the marked file under another name gives AlreadyLinked; a file
// system that cannot swap two names in one step gives NotLinked. Removed
// carries the bytes freed: the file's length when the marked name was its
// last, else 0.
RemovalResult ReplaceWithHardLink(const std::string &path, const FoundFile &found, const std::string &keptPath,
                                  const FoundFile &kept, const BeforeSwapHook &beforeSwap = {});

// Whether the found file at `path` stands in the folder the search saw with
// the content it read, whatever links were made to it since.
bool KeptCopyStands(const std::string &path, const FoundFile &kept);

} // namespace quillmere
