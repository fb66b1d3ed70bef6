#pragma once

#include <string>

namespace quillmere {

// The folder as an absolute path, taken against the program's working folder
// when it is relative, so every path found under it can be opened, shown and
// handed to the desktop from anywhere. An empty text stays empty (it means the
// root); an absolute one is returned as it is.
std::string AbsoluteFolder(const std::string &folder);

} // namespace quillmere
