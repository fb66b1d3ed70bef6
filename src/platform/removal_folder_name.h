#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace quillmere {

// The overwrite moves a marked file into a folder of its own, made beside
// the file, before it writes a byte. Such a folder is named
// ".quillmere-removing-" followed by 16 lowercase hexadecimal digits.
inline constexpr std::string_view kRemovalFolderPrefix = ".quillmere-removing-";

// A fresh name of that form, its digits from the system's random source;
// empty when the system gives no random bytes.
std::string NewRemovalFolderName();

// Whether the name has that form.
bool IsRemovalFolderName(std::string_view name);

// Whether a folder of that name is one this program made for this user: a
// real folder owned by the effective user that only its owner may enter.
bool IsOwnRemovalFolder(mode_t mode, uid_t owner);

} // namespace quillmere
