#pragma once

#include <QString>
#include <string>
#include <vector>

namespace quillmere {

class FileList;
class SearchView;

// Appends to `list` every regular file below `folder` whose name matches
// `mask` (a FileMask: "*.jpg" also lists .jpeg and .jpe names, "All
// pictures" every picture format's), in the order the file system returns the entries, descending into
// subfolders depth first when `recurse` is set. A "/" is appended to the
// folder when missing (an empty folder text lists "/").
//
// Labels: after each finished subfolder, Label1 "Files Search: " + its path
// and Label3 "Found files: " + the list's length. Pending messages run after
// each file added and after each advance to the next entry. StopFlag is read
// after each file added and after each finished subfolder; at 1 the listing
// ends at every level and the paths found so far stay.
//
// Symbolic links inside the tree are never followed (the start folder itself
// may be one), only regular files are listed, folders that cannot be opened
// are skipped silently, virtual file systems are not entered and a folder
// being listed higher up (a bind mount of an ancestor) is not entered again,
// so the listing ends on every tree. Each folder's entries are read whole
// before its subfolders are listed, and only a bounded number of folders stay
// open, so the depth of a tree is limited by PATH_MAX alone, never by the
// limit of open descriptors.
//
// Every folder listed is recorded in the list's folders with its identity,
// the start folder as the one opened by its path.
//
// A folder named as the overwrite names the folder it moves a file into
// (see IsRemovalFolderName) is neither listed nor entered; when it is one of
// this user's own, its path goes to `removalFolders` (when given), for the
// caller to finish what an interrupted removal left there.
void CollectFiles(const std::string &folder, const QString &mask, FileList &list, bool recurse, SearchView &view,
                  std::vector<std::string> *removalFolders = nullptr);

} // namespace quillmere
