#pragma once

#include <functional>

namespace quillmere {

class FolderSet;
class TDataGrid;

// Whether the row at an index of the result table's current order may never
// be marked (its file lies in a protected folder). Empty: every row may be.
using RowLocked = std::function<bool(int row)>;

bool IsLocked(const RowLocked &locked, int row);

// Writes the mark of one row of the result table: a locked row is always
// left unmarked, whatever is asked.
void SetMark(TDataGrid &grid, int row, bool marked, const RowLocked &locked);

// The three buttons of the found page over every row, in row order.
enum class BulkMark { All, None, Invert };
void MarkEveryRow(TDataGrid &grid, BulkMark how, const RowLocked &locked);

// Marks every row whose file lies inside `folder` (in it or below it); the
// other rows keep their marks.
void MarkEveryRowInside(TDataGrid &grid, const FolderSet &folder, const RowLocked &locked);

} // namespace quillmere
