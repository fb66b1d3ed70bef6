#include "search/row_thumbnail_cell.h"

#include "imaging/row_thumbnail.h"
#include "table/data_grid.h"

namespace quillmere {

int AddRowThumbnail(const DecodedThumbnails &decoded, int row, TDataGrid &grid, TImageList &list)
{
    const ThumbnailOutcome outcome = addThumbnails(decoded, list);
    if (outcome.resolution) {
        grid.CellAt(QStringLiteral("Res"), row).setText(*outcome.resolution);
    }
    return outcome.shownIndex;
}

int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list)
{
    return AddRowThumbnail(decodeThumbnails(path), row, grid, list);
}

} // namespace quillmere
