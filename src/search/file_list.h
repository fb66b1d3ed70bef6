#pragma once

#include <string>
#include <vector>

namespace quillmere {

// The search's file list (the hidden Memo1): full paths in order of
// discovery, one entry per path whatever bytes it holds (line breaks too).
class FileList {
public:
    int count() const { return static_cast<int>(paths_.size()); }
    // Throws EListError for an index outside 0 to count() - 1.
    const std::string &at(int index) const;
    const std::vector<std::string> &paths() const { return paths_; }

    void append(std::string path) { paths_.push_back(std::move(path)); }
    void clear() { paths_.clear(); }
    // Removes every path for which `drop` is true; the others keep their order.
    template <class Predicate>
    void removeIf(Predicate drop)
    {
        std::erase_if(paths_, drop);
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
    std::vector<std::string> paths_;
    int updateDepth_ = 0;
};

} // namespace quillmere
