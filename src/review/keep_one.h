#pragma once

namespace quillmere {

class TDataGrid;

// Marks every row of the result table except one in each set of identical
// files: the first row of each set in the table's current order stays
// unmarked, so sorting the table first chooses which copy is kept. A set is
// told by the row's Group number.
void MarkAllButOneInEachSet(TDataGrid &grid);

} // namespace quillmere
