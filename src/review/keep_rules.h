#pragma once

#include "review/marking.h"

#include <QString>
#include <vector>

namespace quillmere {

class FolderSet;
class FoundFileRecord;
class TDataGrid;

// Which copy of each set stays when every other copy is marked.
enum class KeepRule {
    Oldest,            // the earliest modification time
    Newest,            // the latest modification time
    HighestResolution, // the most pixels
    Largest,           // the most bytes
    ShortestPath,      // the fewest bytes in its full path
    InsideFolder,      // a copy inside a folder the user picks
};

struct KeepRuleInfo {
    KeepRule rule;
    QString caption; // its entry in the found page's Keep menu
};

// The rules in the order the menu offers them.
const std::vector<KeepRuleInfo> &KeepRules();

// Marks every copy of each set of `sets` except the one `rule` keeps; when
// several are alike by the rule, the first in the table's current order
// stays. Locked rows are never marked (they stay besides the kept copy). With
// InsideFolder, a set without a copy inside `folder` (in it or below it) is
// left wholly unmarked. A row whose file is in no set is left unmarked.
//
// Times and sizes are the ones the search read; the resolution is the one
// the row shows (a row showing none counts as the lowest).
void MarkAllButTheKeptCopies(TDataGrid &grid, const FoundFileRecord &sets, KeepRule rule,
                             const RowLocked &locked, const FolderSet *folder = nullptr);

} // namespace quillmere
