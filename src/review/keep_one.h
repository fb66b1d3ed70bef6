#pragma once

#include "review/marking.h"

namespace quillmere {

class FoundFileRecord;
class TDataGrid;

// Marks every row of the result table except one in each set of identical
// files: the first row of each set in the table's current order stays
// unmarked, so sorting the table first chooses which copy is kept. A set is
// told by the row's Group number. Locked rows are never marked.
void MarkAllButOneInEachSet(TDataGrid &grid, const RowLocked &locked = {});

// After a similar-picture search: marks every row except each set's best copy
// (the set's first picture as the search ordered it: the most pixels, then
// the longest file, then the oldest), wherever sorting has moved its row. A
// row whose file is in no set of `sets` is left unmarked, as is a locked row.
void MarkAllButTheBestCopies(TDataGrid &grid, const FoundFileRecord &sets, const RowLocked &locked = {});

} // namespace quillmere
