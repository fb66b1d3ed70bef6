#include "review/marking.h"

#include "platform/folder_set.h"
#include "platform/path_text.h"
#include "table/data_grid.h"

namespace quillmere {

bool IsLocked(const RowLocked &locked, int row)
{
    return locked && locked(row);
}

void SetMark(TDataGrid &grid, int row, bool marked, const RowLocked &locked)
{
    grid.CellAt(QStringLiteral("Del"), row).setBoolean(marked && !IsLocked(locked, row));
}

void MarkEveryRow(TDataGrid &grid, BulkMark how, const RowLocked &locked)
{
    for (int row = 0; row < grid.RowCount(); ++row) {
        bool marked = how == BulkMark::All;
        if (how == BulkMark::Invert) {
            marked = !grid.CellAt(QStringLiteral("Del"), row).asBoolean();
        }
        SetMark(grid, row, marked, locked);
    }
}

void MarkEveryRowInside(TDataGrid &grid, const FolderSet &folder, const RowLocked &locked)
{
    for (int row = 0; row < grid.RowCount(); ++row) {
        if (folder.holds(textToPath(grid.CellAt(QStringLiteral("Dest"), row).text()))) {
            SetMark(grid, row, true, locked);
        }
    }
}

} // namespace quillmere
