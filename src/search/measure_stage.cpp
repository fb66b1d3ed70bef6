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
#include <unordered_set>

namespace quillmere {

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
    struct IdentityHash {
        std::size_t operator()(const std::pair<dev_t, ino_t> &id) const noexcept
        {
            return std::hash<ino_t>()(id.second) * 31 + std::hash<dev_t>()(id.first);
        }
    };
    std::unordered_set<std::pair<dev_t, ino_t>, IdentityHash> seenFiles;
    seenFiles.reserve(static_cast<std::size_t>(n));
    // Equal sizes share one text, so a table of many files of few sizes
    // holds each size text once.
    const auto sizeStore = std::make_shared<TextStore>();
    const TextStores sizeStores {sizeStore};
    std::unordered_map<double, StoredText> sizeTexts;
    // The list holds the files of a folder together: each is looked up from
    // its folder, not from the root.
    FolderHandles folders(64);
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
        const FileStamp stamp = folder != nullptr ? MeasureFileStatusIn(folder->fd, std::string(name).c_str(), path)
                                                  : MeasureFileStatus(path);
        view.setLabel3(stored.text());
        if (stamp.size > 100 && !IsInRecycleFolder(path, dataHome)
            && seenFiles.emplace(stamp.device, stamp.inode).second) {
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
