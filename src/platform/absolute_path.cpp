#include "platform/absolute_path.h"

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace quillmere {

std::string AbsoluteFolder(const std::string &folder)
{
    if (folder.empty() || folder.front() == '/') {
        return folder;
    }
    std::unique_ptr<char, decltype(&std::free)> here(::getcwd(nullptr, 0), &std::free);
    if (!here) {
        return folder;
    }
    std::string base = here.get();
    if (base.back() != '/') {
        base += '/';
    }
    return base + folder;
}

} // namespace quillmere
