#pragma once

#include <string>

namespace quillmere {

// Makes `folder` and its missing parents, each 0700. Returns
// an empty text, or why it cannot hold a cache (also when its owner made it
// read-only: that is respected even by root, who could write there anyway).
std::string MakeCacheFolder(const std::string &folder);

// Makes the database file 0600 when missing and takes group and other access
// from one that exists. Returns an empty text, or why it cannot be written.
std::string PrepareCacheFile(const std::string &path);

// Renames the database and its journal files to "<path>.aside-<UTC time>" and
// returns the new name of the database (empty when the rename failed).
std::string MoveCacheAside(const std::string &path);

} // namespace quillmere
