#include "search/compare_stage.h"

#include "platform/folder_handles.h"
#include "platform/path_text.h"
#include "search/search_view.h"
#include "table/data_grid.h"

#include <string>
#include <vector>

namespace quillmere {

namespace {

constexpr int kPathColumn = 0;
constexpr int kSizeColumn = 1;

} // namespace

bool CompareCandidates(TDataGrid &candidates, TDataGrid &pairs, SearchView &view, const ListedFolders &listed,
                       const IdenticalSetsLimits &limits, std::vector<int> *setSizes,
                       std::vector<FoundFile> *foundFiles)
{
    const int m = candidates.RowCount();
    if (m < 2) {
        return false;
    }
    view.setProgressMaximum(m - 2);
    view.setLabel1(QStringLiteral("Compare files:"));

    // The rows are copied first: handlers run while pumping may change the
    // table, and the stage must finish on what it started with. The copies
    // refer to the table's texts, whose stores they keep alive.
    TextStores stores = candidates.textStores();
    std::vector<StoredText> pathTexts(static_cast<std::size_t>(m));
    std::vector<StoredText> sizeTexts(static_cast<std::size_t>(m));
    const auto ownStore = std::make_shared<TextStore>();
    for (int row = 0; row < m; ++row) {
        const TGridCell path = candidates.CellAt(kPathColumn, row);
        const TGridCell size = candidates.CellAt(kSizeColumn, row);
        const auto r = static_cast<std::size_t>(row);
        if (candidates.compact()) {
            pathTexts[r] = path.storedText();
            sizeTexts[r] = size.storedText();
        } else {
            pathTexts[r] = ownStore->add(path.text());
            sizeTexts[r] = ownStore->add(size.text());
        }
    }
    stores.push_back(ownStore);

    const auto reachRow = [&](int row) {
        if (row > m - 2) {
            return;
        }
        view.pumpMessages();
        view.setProgressPosition(row);
        view.setLabel3(pathTexts[static_cast<std::size_t>(row)].text());
    };
    const auto sameText = [](const StoredText &a, const StoredText &b) {
        return a.sameRecord(b) || a.compare(b) == 0;
    };

    // Files of one folder fall into many runs of one size: the folder is
    // opened once for all of them.
    FolderHandles folders(&listed);
    int first = 0;
    while (first < m) {
        int end = first + 1;
        while (end < m && sameText(sizeTexts[static_cast<std::size_t>(end)], sizeTexts[static_cast<std::size_t>(first)])) {
            ++end;
        }
        if (end - first == 1) {
            reachRow(first);
            first = end;
            continue;
        }
        // Sizes from 10^15 bytes on are written in scientific notation and
        // give no exact length; such files are identical to nothing.
        bool exact = false;
        const qlonglong size = sizeTexts[static_cast<std::size_t>(first)].text().toLongLong(&exact);
        std::vector<std::string> paths;
        paths.reserve(static_cast<std::size_t>(end - first));
        for (int row = first; row < end; ++row) {
            paths.push_back(pathTexts[static_cast<std::size_t>(row)].path());
        }
        const int runStart = first;
        std::vector<FoundFile> found;
        const auto sets = FindIdenticalSets(
            paths, exact ? size : -1, [&](int index) { reachRow(runStart + index); }, limits, &found,
            [&] { view.pumpMessages(); }, &folders);
        for (const auto &set : sets) {
            if (setSizes != nullptr) {
                setSizes->push_back(static_cast<int>(set.size()));
            }
            for (const int index : set) {
                const auto row = static_cast<std::size_t>(runStart + index);
                pairs.AppendRows(1);
                const int last = pairs.RowCount() - 1;
                pairs.CellAt(kPathColumn, last).setStoredText(pathTexts[row], stores);
                pairs.CellAt(kSizeColumn, last).setStoredText(sizeTexts[row], stores);
                if (foundFiles != nullptr) {
                    foundFiles->push_back(found[static_cast<std::size_t>(index)]);
                }
            }
        }
        first = end;
    }
    return true;
}

} // namespace quillmere
