#include "search/measure_stage.h"

#include "platform/errors.h"
#include "platform/file_measure.h"
#include "platform/folder_handles.h"
#include "platform/number_text.h"
#include "platform/path_text.h"
#include "search/file_list.h"
#include "search/path_rules.h"
#include "search/search_view.h"
#include "table/data_grid.h"

#include <unordered_map>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace quillmere {

namespace {

// The identities (device, inode) of the files met so far, in one flat table
// of 16 bytes a slot, at most half full: a million files cost no allocation
// each.
class SeenFiles {
public:
    // True when the identity was not met before.
    bool add(dev_t device, ino_t inode)
    {
        if ((count_ + 1) * 2 > slots_.size()) {
            grow();
        }
        if (place(slots_, device, inode)) {
            ++count_;
            return true;
        }
        return false;
    }

private:
    using Slot = std::pair<dev_t, ino_t>;
    // No file has this identity; it marks a free slot.
    static constexpr Slot kFree {~dev_t(0), ~ino_t(0)};

    static bool place(std::vector<Slot> &table, dev_t device, ino_t inode)
    {
        const std::size_t mask = table.size() - 1;
        std::size_t at = (std::uint64_t(inode) * 0x9E3779B97F4A7C15ull ^ std::uint64_t(device)) & mask;
        for (;; at = (at + 1) & mask) {
            if (table[at] == kFree) {
                table[at] = {device, inode};
                return true;
            }
            if (table[at] == Slot {device, inode}) {
                return false;
            }
        }
    }

    void grow()
    {
        std::vector<Slot> larger(std::max<std::size_t>(1024, slots_.size() * 2), kFree);
        for (const Slot &slot : slots_) {
            if (slot != kFree) {
                place(larger, slot.first, slot.second);
            }
        }
        slots_.swap(larger);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

} // namespace

bool MeasureCandidates(const FileList &list, TDataGrid &candidates, SearchView &view)
{
    const int n = list.count();
    if (n < 2) {
        return false;
    }
    view.setProgressMaximum(n - 2);
    view.setLabel1(QStringLiteral("Creating a list of files"));
    const std::string dataHome = UserDataHome();
    // Identities of the files that became candidates: a second path of one
    // (a hard link, a bind mount) is no candidate.
    SeenFiles seenFiles;
    // Equal sizes share one text, so a table of many files of few sizes
    // holds each size text once.
    const auto sizeStore = std::make_shared<TextStore>();
    const TextStores sizeStores {sizeStore};
    std::unordered_map<double, StoredText> sizeTexts;
    // The list holds the files of a folder together: each is looked up from
    // its folder, not from the root. A folder that is no longer the one
    // listed (replaced by a link or another folder) measures nothing.
    FolderHandles folders(&list.folders());
    for (int s = 0; s < n; ++s) {
        view.setProgressPosition(s);
        // The path cell refers to the list's own copy of the path; the list
        // keeps its store alive for the table even if it is emptied.
        const StoredText stored = list.storedAt(s);
        const std::string path = stored.path();
        std::string_view folderPart;
        std::string_view name;
        SplitPath(path, folderPart, name);
        const FolderHandles::Folder *folder = folders.find(folderPart);
        const FileStamp stamp = folder != nullptr ? MeasureFileStatusIn(folder->fd, std::string(name).c_str())
                                                  : FileStamp {};
        view.setLabel3(stored.text());
        if (stamp.size > 100 && !IsInRecycleFolder(path, dataHome)
            && seenFiles.add(stamp.device, stamp.inode)) {
            candidates.AppendRows(1);
            const int row = candidates.RowCount() - 1;
            candidates.CellAt(QStringLiteral("dest2"), row).setStoredText(stored, list.stores());
            auto [known, added] = sizeTexts.try_emplace(stamp.size);
            if (added) {
                known->second = sizeStore->add(GeneralNumberText(stamp.size));
            }
            candidates.CellAt(QStringLiteral("size2"), row).setStoredText(known->second, sizeStores);
        }
        view.pumpMessages();
    }
    TGridCustomColumn *sizeColumn = candidates.FindColumn(QStringLiteral("Size2"));
    if (sizeColumn == nullptr) {
        throw EInvalidGridOperation(QStringLiteral("The candidate table has no size column"));
    }
    // A sort of a million rows takes seconds; the window keeps answering
    // through it, and a search abandoned meanwhile ends there.
    const std::function<void()> before = candidates.whileSorting;
    candidates.whileSorting = [&view] { view.pumpMessages(); };
    try {
        sizeColumn->setSorted(true);
    } catch (...) {
        candidates.whileSorting = before;
        throw;
    }
    candidates.whileSorting = before;
    return true;
}

} // namespace quillmere
