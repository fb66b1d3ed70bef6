#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace quillmere {

class SearchView;
class TDataGrid;
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
// cancel it; it is put back as it was at the end.
bool FillResultRowsWithThumbnails(TDataGrid &pairs, TDataGrid &results, int listedFiles,
                                  const std::vector<int> &setSizes, SearchView &view, TImageList &list,
                                  int workers, ThumbnailsAhead **running = nullptr);

// The paths of the pair table's rows, in row order.
std::vector<std::string> PairTablePaths(TDataGrid &pairs);

} // namespace quillmere
