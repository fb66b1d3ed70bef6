#include "search/file_list.h"

#include "platform/errors.h"

namespace quillmere {

const std::string &FileList::at(int index) const
{
    if (index < 0 || index >= count()) {
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return paths_[static_cast<std::size_t>(index)];
}

} // namespace quillmere
