#pragma once

#include "platform/file_identity.h"

#include <functional>
#include <set>
#include <string>

namespace quillmere::test {

// The file at `path` and its folder as a comparison reading it now would
// record them.
FoundFile foundNow(const std::string &path);

// The names in a folder, "." and ".." left out.
std::set<std::string> entriesOf(const std::string &folder);

// The whole content of an open file, read through its descriptor.
std::string contentOf(int fd);

// Lets every user pass through the folders above `root` (not into `root`).
void letEveryoneThroughAbove(const std::string &root);

// Runs `body` as the unprivileged user "nobody" in a child process when the
// tests run as root (root may change any folder whatever its mode), after
// handing `root` and everything in it to that user; otherwise runs it here.
// Returns what `body` returned, or -1 when the child failed.
int asUnprivilegedUser(const std::string &root, const std::function<int()> &body);

} // namespace quillmere::test
