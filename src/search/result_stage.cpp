#include "search/result_stage.h"

#include "common/stop_flag.h"
#include "imaging/row_thumbnail.h"
#include "search/row_thumbnail_cell.h"
#include "imaging/thumbnails_ahead.h"
#include "platform/file_dates.h"
#include "platform/path_text.h"
#include "platform/size_text.h"
#include "search/search_view.h"
#include "search/similar_search.h"
#include "table/data_grid.h"

#include <QScopeGuard>
#include <utility>

namespace quillmere {

namespace {

// The rows of the pair table: `setSizes` numbers their sets.
class PairTableRows final : public ResultRowSource {
public:
    PairTableRows(TDataGrid &pairs, const std::vector<int> &setSizes)
        : pairs_(pairs)
    {
        const int k = pairs.RowCount();
        groups_.reserve(static_cast<std::size_t>(k));
        std::size_t set = 0;
        int rowsLeftInSet = setSizes.empty() ? 0 : setSizes.front();
        for (int s = 0; s < k; ++s) {
            while (rowsLeftInSet == 0 && set + 1 < setSizes.size()) {
                rowsLeftInSet = setSizes[++set];
            }
            groups_.push_back(static_cast<int>(set) + 1);
            --rowsLeftInSet;
        }
    }
    int count() const override { return static_cast<int>(groups_.size()); }
    QString pathText(int row) const override { return pairs_.CellAt(0, row).text(); }
    QString sizeText(int row) const override { return pairs_.CellAt(1, row).text(); }
    int group(int row) const override { return groups_[static_cast<std::size_t>(row)]; }

private:
    TDataGrid &pairs_;
    std::vector<int> groups_;
};

// The files of a similar-picture search's sets, one row each.
class SimilarSetRows final : public ResultRowSource {
public:
    explicit SimilarSetRows(const SimilarSearchResult &result)
    {
        for (std::size_t set = 0; set < result.sets.size(); ++set) {
            for (const SimilarFile &file : result.sets[set]) {
                rows_.push_back({&file, static_cast<int>(set) + 1});
            }
        }
    }
    int count() const override { return static_cast<int>(rows_.size()); }
    QString pathText(int row) const override { return at(row).file->pathText; }
    QString sizeText(int row) const override { return QString::number(at(row).file->found.file.size); }
    int group(int row) const override { return at(row).group; }
    std::optional<int> similarity(int row) const override { return at(row).file->similarity; }

private:
    struct Row {
        const SimilarFile *file;
        int group;
    };
    const Row &at(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    std::vector<Row> rows_;
};

std::vector<std::string> pathsOf(const ResultRowSource &rows)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(rows.count()));
    for (int s = 0; s < rows.count(); ++s) {
        paths.push_back(textToPath(rows.pathText(s)));
    }
    return paths;
}

} // namespace

bool FillResultRowsFrom(const ResultRowSource &rows, TDataGrid &results, int listedFiles, SearchView &view,
                        const RowThumbnailMaker &makeThumbnail, const std::function<void(int row)> &beforeRow)
{
    const int k = rows.count();
    if (k != 0) {
        view.setProgressMaximum(k - 2);
    }
    for (int s = 0; s < k; ++s) {
        // Handlers run while pumping may empty the pair table (a new search
        // started meanwhile); such a lookup raises and ends the run.
        const QString pathText = rows.pathText(s);
        const QString sizeText = rows.sizeText(s);
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
        results.CellAt(QStringLiteral("Bytes"), r).setText(sizeText);
        results.CellAt(QStringLiteral("Date"), r).setText(DateText(FileCreationDate(path)));
        results.CellAt(QStringLiteral("Group"), r).setInteger(rows.group(s));
        if (const std::optional<int> similarity = rows.similarity(s)) {
            results.CellAt(QStringLiteral("Similar"), r).setInteger(*similarity);
        }
    }
    return true;
}

bool FillResultRowsFromWithThumbnails(const ResultRowSource &rows, TDataGrid &results, int listedFiles,
                                      SearchView &view, TImageList &list, int workers, ThumbnailsAhead **running,
                                      FileCache *cache)
{
    ThumbnailsAhead ahead(pathsOf(rows), workers, cache);
    ThumbnailsAhead *const outer = running != nullptr ? std::exchange(*running, &ahead) : nullptr;
    const auto restore = qScopeGuard([&] {
        if (running != nullptr) {
            *running = outer;
        }
    });
    std::size_t sourceRow = 0;
    return FillResultRowsFrom(
        rows, results, listedFiles, view,
        [&](const std::string &path, int row) {
            return AddRowThumbnail(ahead.take(sourceRow, path), row, results, list);
        },
        [&](int s) {
            sourceRow = static_cast<std::size_t>(s);
            ahead.waitFor(sourceRow, [&view] { view.pumpMessages(); });
        });
}

bool FillResultRows(TDataGrid &pairs, TDataGrid &results, int listedFiles, const std::vector<int> &setSizes,
                    SearchView &view, const RowThumbnailMaker &makeThumbnail,
                    const std::function<void(int pairRow)> &beforeRow)
{
    return FillResultRowsFrom(PairTableRows(pairs, setSizes), results, listedFiles, view, makeThumbnail, beforeRow);
}

bool FillResultRowsWithThumbnails(TDataGrid &pairs, TDataGrid &results, int listedFiles,
                                  const std::vector<int> &setSizes, SearchView &view, TImageList &list,
                                  int workers, ThumbnailsAhead **running, FileCache *cache)
{
    return FillResultRowsFromWithThumbnails(PairTableRows(pairs, setSizes), results, listedFiles, view, list,
                                            workers, running, cache);
}

bool FillSimilarResultRows(const SimilarSearchResult &result, TDataGrid &results, int listedFiles, SearchView &view,
                           TImageList &list, int workers, ThumbnailsAhead **running, FileCache *cache)
{
    return FillResultRowsFromWithThumbnails(SimilarSetRows(result), results, listedFiles, view, list, workers,
                                            running, cache);
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
