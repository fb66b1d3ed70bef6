#pragma once

#include "platform/listed_folders.h"
#include "table/text_store.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillmere {

// The search's file list (the hidden Memo1): full paths in order of
// discovery, one entry per path whatever bytes it holds (line breaks too).
// The paths are kept once, as their bytes, in a text store that the
// candidate table's path cells refer to as well.
class FileList {
public:
    FileList();

    int count() const { return static_cast<int>(paths_.size()); }
    // Throws EListError for an index outside 0 to count() - 1.
    std::string at(int index) const;
    // The path as kept, for a table cell that is to show it.
    StoredText storedAt(int index) const;
    // The store that holds the paths; it lives on while a table refers to it.
    const TextStores &stores() const { return stores_; }
    std::vector<std::string> paths() const;

    void append(std::string_view path) { paths_.push_back(store_->addPath(path)); }
    // The folders the paths were listed from, as the listing found them.
    const ListedFolders &folders() const { return folders_; }
    ListedFolders &folders() { return folders_; }
    // Empties the list and its folders; tables still referring to the old
    // paths keep them.
    void clear();
    // Removes every path for which `drop(std::string_view)` is true; the
    // others keep their order.
    template <class Predicate>
    void removeIf(Predicate drop)
    {
        std::erase_if(paths_, [&](const StoredText &path) { return drop(std::string_view(path.path())); });
    }

    // Update mode: while it is on the list is being filled and a view of it
    // should not redraw. Calls nest.
    void beginUpdate() { ++updateDepth_; }
    void endUpdate()
    {
        if (updateDepth_ > 0) {
            --updateDepth_;
        }
    }
    int updateDepth() const { return updateDepth_; }

    // Keeps update mode on for the lifetime of the scope.
    class UpdateScope {
    public:
        explicit UpdateScope(FileList &list)
            : list_(list)
        {
            list_.beginUpdate();
        }
        ~UpdateScope() { list_.endUpdate(); }
        UpdateScope(const UpdateScope &) = delete;
        UpdateScope &operator=(const UpdateScope &) = delete;

    private:
        FileList &list_;
    };

private:
    std::shared_ptr<TextStore> store_;
    TextStores stores_;
    std::vector<StoredText> paths_;
    ListedFolders folders_;
    int updateDepth_ = 0;
};

} // namespace quillmere
