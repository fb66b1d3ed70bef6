#include "review/keep_one.h"

#include "search/found_files.h"
#include "table/data_grid.h"

#include <QSet>

namespace quillmere {

void MarkAllButOneInEachSet(TDataGrid &grid, const RowLocked &locked)
{
    QSet<int> setsWithAKeptRow;
    for (int row = 0; row < grid.RowCount(); ++row) {
        const int set = grid.CellAt(QStringLiteral("Group"), row).asInteger();
        const bool firstOfItsSet = !setsWithAKeptRow.contains(set);
        setsWithAKeptRow.insert(set);
        SetMark(grid, row, !firstOfItsSet, locked);
    }
}

void MarkAllButTheBestCopies(TDataGrid &grid, const FoundFileRecord &sets, const RowLocked &locked)
{
    for (int row = 0; row < grid.RowCount(); ++row) {
        const auto place = sets.placeOf(grid.CellAt(QStringLiteral("Dest"), row).text());
        SetMark(grid, row, place && place->member != 0, locked);
    }
}

} // namespace quillmere
