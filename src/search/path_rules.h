#pragma once

#include <string>
#include <string_view>

namespace quillmere {

class FileList;

// System folders, left out when "Excluded system folders" is ticked: a path
// holding "Windows" or "Program Files" (exact, case-sensitive, anywhere; they
// occur on mounted Windows volumes and in Wine prefixes), and every path
// under the system's own trees (/usr/, /proc/, /sys/, /dev/, /run/, /etc/,
// /boot/, /lib/, /lib32/, /lib64/, /bin/, /sbin/, /var/lib/, /var/cache/,
// /snap/). Repeated separators and "." segments do not hide a system tree.
bool IsSystemPath(std::string_view path);

// Drops every system path from the list; the rest keep their order.
void RemoveSystemPaths(FileList &list);

// Recycle folders, whose files are never candidates: a path holding
// "RECYCLER" (exact, case-sensitive), a path with a folder named ".Trash" or
// ".Trash-<digits>", and a path under "<dataHome>/Trash/".
bool IsInRecycleFolder(std::string_view path, std::string_view dataHome);

// The user's data home: $XDG_DATA_HOME when it is an absolute path, else
// ~/.local/share; empty when neither can be found.
std::string UserDataHome();

} // namespace quillmere
