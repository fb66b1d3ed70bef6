#include "search/file_list.h"

#include "platform/errors.h"

namespace quillmere {

FileList::FileList()
{
    clear();
}

void FileList::clear()
{
    std::vector<StoredText>().swap(paths_);
    folders_.clear();
    store_ = std::make_shared<TextStore>();
    stores_.assign(1, store_);
}

StoredText FileList::storedAt(int index) const
{
    if (index < 0 || index >= count()) {
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return paths_[static_cast<std::size_t>(index)];
}

std::string FileList::at(int index) const
{
    return storedAt(index).path();
}

std::vector<std::string> FileList::paths() const
{
    std::vector<std::string> all;
    all.reserve(paths_.size());
    for (const StoredText &path : paths_) {
        all.push_back(path.path());
    }
    return all;
}

} // namespace quillmere
