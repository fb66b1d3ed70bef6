#include "search/result_stage.h"

#include "common/stop_flag.h"
#include "imaging/row_thumbnail.h"
#include "search/row_thumbnail_cell.h"
#include "imaging/thumbnails_ahead.h"
#include "platform/file_dates.h"
#include "platform/path_text.h"
#include "platform/size_text.h"
#include "search/search_view.h"
#include "table/data_grid.h"

#include <QScopeGuard>
#include <utility>

namespace quillmere {

bool FillResultRows(TDataGrid &pairs, TDataGrid &results, int listedFiles, const std::vector<int> &setSizes,
                    SearchView &view, const RowThumbnailMaker &makeThumbnail,
                    const std::function<void(int pairRow)> &beforeRow)
{
    const int k = pairs.RowCount();
    if (k != 0) {
        view.setProgressMaximum(k - 2);
    }
    std::size_t set = 0;
    int rowsLeftInSet = setSizes.empty() ? 0 : setSizes.front();
    for (int s = 0; s < k; ++s) {
        // Handlers run while pumping may empty the pair table (a new search
        // started meanwhile); such a lookup raises and ends the run.
        const QString pathText = pairs.CellAt(0, s).text();
        const QString sizeText = pairs.CellAt(1, s).text();
        view.setProgressPosition(s);
        if (StopFlag == 1) {
            return false;
        }
        view.setLabel1(QStringLiteral("File: ") + pathText);
        view.setLabel3(QStringLiteral("Found files: ") + QString::number(listedFiles));
        view.setLabel4(QStringLiteral("Duplicates: ") + QString::number(results.RowCount()));
        view.pumpMessages();
        if (beforeRow) {
            beforeRow(s);
        }

        const std::string path = textToPath(pathText);
        const int r = results.RowCount();
        results.AppendRows(1);
        const int thumbnail = makeThumbnail ? makeThumbnail(path, r) : -1;
        results.CellAt(QStringLiteral("Priv"), r).setInteger(thumbnail);
        results.CellAt(QStringLiteral("Dest"), r).setText(pathText);
        results.CellAt(QStringLiteral("Size"), r).setText(SizeDisplayText(sizeText));
        results.CellAt(QStringLiteral("Date"), r).setText(DateText(FileCreationDate(path)));

        while (rowsLeftInSet == 0 && set + 1 < setSizes.size()) {
            rowsLeftInSet = setSizes[++set];
        }
        results.CellAt(QStringLiteral("Group"), r).setInteger(static_cast<int>(set) + 1);
        --rowsLeftInSet;
    }
    return true;
}

bool FillResultRowsWithThumbnails(TDataGrid &pairs, TDataGrid &results, int listedFiles,
                                  const std::vector<int> &setSizes, SearchView &view, TImageList &list,
                                  int workers, ThumbnailsAhead **running)
{
    ThumbnailsAhead ahead(PairTablePaths(pairs), workers);
    ThumbnailsAhead *const outer = running != nullptr ? std::exchange(*running, &ahead) : nullptr;
    const auto restore = qScopeGuard([&] {
        if (running != nullptr) {
            *running = outer;
        }
    });
    std::size_t pairRow = 0;
    return FillResultRows(
        pairs, results, listedFiles, setSizes, view,
        [&](const std::string &path, int row) {
            return AddRowThumbnail(ahead.take(pairRow, path), row, results, list);
        },
        [&](int s) {
            pairRow = static_cast<std::size_t>(s);
            ahead.waitFor(pairRow, [&view] { view.pumpMessages(); });
        });
}

std::vector<std::string> PairTablePaths(TDataGrid &pairs)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(pairs.RowCount()));
    for (int s = 0; s < pairs.RowCount(); ++s) {
        paths.push_back(textToPath(pairs.CellAt(0, s).text()));
    }
    return paths;
}

} // namespace quillmere
