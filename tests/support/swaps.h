#pragma once

#include <string>

namespace quillmere::test {

// Changes that another program may make to a tree while a search runs. Each
// keeps what it replaces under the same path with ".old" appended, so no file
// is lost, and throws when the file system refuses.

// Puts a symbolic link to `target` in the place of the folder `folder`.
void swapFolderForLink(const std::string &folder, const std::string &target);
// Puts a new folder holding byte-identical copies of the old one's files in
// the place of the folder `folder`.
void swapFolderForCopy(const std::string &folder);
// Puts a hard link to `original` in the place of the file `file`.
void swapFileForHardLink(const std::string &file, const std::string &original);

} // namespace quillmere::test
