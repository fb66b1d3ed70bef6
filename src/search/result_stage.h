#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmere {

class SearchView;
struct SimilarSearchResult;
class TDataGrid;
class FileCache;
class ThumbnailsAhead;
class TImageList;

// Makes the thumbnail of a result row (appending to the thumbnail list and
// maybe writing the row's Res cell) and returns the index of the thumbnail it
// appended for the row, the last one where it appended two, or -1 for none.
using RowThumbnailMaker = std::function<int(const std::string &path, int row)>;

// The result stage: one row of the result table per pair-table row, filled
// with its thumbnail index (Priv), path (Dest), size text (Size), creation
// date (Date) and the number of its set of identical files (Group, 1, 2, 3,
// ... in pair-table order; `setSizes` gives the number of rows of each set).
// Before each row it moves the progress bar, tests StopFlag, shows the file
// and the running counts and lets pending messages run. Returns false when
// it met a stop request: the run then ends at once, without "Finish".
//
// `beforeRow`, when given, runs for pair row s after its pump and before its
// result row is appended (a thumbnail made ahead may be waited for there).
bool FillResultRows(TDataGrid &pairs, TDataGrid &results, int listedFiles, const std::vector<int> &setSizes,
                    SearchView &view, const RowThumbnailMaker &makeThumbnail,
                    const std::function<void(int pairRow)> &beforeRow = {});

// The result stage with thumbnails: each row's thumbnails are decoded ahead
// on `workers` threads (none: as the row is added) and added to `list` in
// row order, with the Res cell, exactly as decoding them one after the other
// would. While it waits for a picture, messages run as at a pump. While the
// work runs, `*running` points at it, so that a new search or a close can
// cancel it; it is put back as it was at the end. With a cache, the
// thumbnails it holds are taken from it and the others stored in it.
bool FillResultRowsWithThumbnails(TDataGrid &pairs, TDataGrid &results, int listedFiles,
                                  const std::vector<int> &setSizes, SearchView &view, TImageList &list,
                                  int workers, ThumbnailsAhead **running = nullptr, FileCache *cache = nullptr);

// The paths of the pair table's rows, in row order.
std::vector<std::string> PairTablePaths(TDataGrid &pairs);

// What the result stage writes of each row, whichever search found it.
class ResultRowSource {
public:
    virtual ~ResultRowSource() = default;
    virtual int count() const = 0;
    // The row's path as the Dest cell shows it; may raise when what the rows
    // come from was emptied meanwhile (a new search).
    virtual QString pathText(int row) const = 0;
    // The decimal digits of the file's length.
    virtual QString sizeText(int row) const = 0;
    // The number of the row's set: 1, 2, 3, ...
    virtual int group(int row) const = 0;
    // The Similar cell, for the rows of a similar-picture search only.
    virtual std::optional<int> similarity(int) const { return std::nullopt; }
};

// The result stage over any row source: what FillResultRows does for the
// pair table's rows, with the Similar cell of rows that have one.
bool FillResultRowsFrom(const ResultRowSource &rows, TDataGrid &results, int listedFiles, SearchView &view,
                        const RowThumbnailMaker &makeThumbnail, const std::function<void(int row)> &beforeRow = {});
bool FillResultRowsFromWithThumbnails(const ResultRowSource &rows, TDataGrid &results, int listedFiles,
                                      SearchView &view, TImageList &list, int workers,
                                      ThumbnailsAhead **running = nullptr, FileCache *cache = nullptr);

// The result stage of a similar-picture search: one row per file of its
// sets, in their order (the best copy first in each), filled as the rows of
// identical files are, with its similarity to its set's first picture in
// the Similar cell, and thumbnails made ahead on `workers` threads.
bool FillSimilarResultRows(const SimilarSearchResult &result, TDataGrid &results, int listedFiles, SearchView &view,
                           TImageList &list, int workers, ThumbnailsAhead **running = nullptr,
                           FileCache *cache = nullptr);

} // namespace quillmere
