#pragma once

#include "removal/removal_outcome.h"

#include <QString>
#include <set>
#include <vector>

namespace quillmere {

class FoundFileRecord;
class TDataGrid;

// The two ways of removing a marked file.
enum class RemovalMethod {
    RecycleBin, // "Delete to the Recycle bin"
    HardDrive,  // "Delete from hard drive": overwrite three times, then delete
};

// The removal and report pages as the pass sees them.
class RemovalView {
public:
    virtual ~RemovalView() = default;
    // The method selected right now; the user may change it while the pass runs.
    virtual RemovalMethod selectedMethod() const = 0;
    virtual void addReportLine(const QString &line) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // Lets pending window messages run.
    virtual void processMessages() = 0;
};

// The report's first line for the method.
QString RemovalHeading(RemovalMethod method);

// The sets of identical files (numbers of `found`) whose every member is
// marked in the result table: removing the marked files would leave no copy.
std::vector<int> SetsLosingEveryCopy(TDataGrid &grid, const FoundFileRecord &found);

// The removal pass over the result table: writes the heading of the method
// selected now, then, for every row in order, lets window messages run, moves
// the progress to the row and, when the row's Del flag is set, removes the
// file named by its Dest cell with the method selected at that moment, and
// lists it when it is gone.
//
// A marked file is removed only when it is the very file the comparison read,
// unchanged, in the folder it was found in, and, unless its set is among
// `everyCopyConfirmed`, while at least one unmarked member of its set still
// stands unchanged. Every marked file that is not removed is listed after the
// removed ones, behind an empty line and a count, with the reason in plain
// words. Paths are shown on one line each, as a person reads them. An error of
// the table (rows removed by a search started meanwhile) ends the pass.
// Emptying the report and turning to the report page beforehand are the
// caller's.
void RemoveMarkedFiles(TDataGrid &grid, RemovalView &view, const FoundFileRecord &found,
                       const std::set<int> &everyCopyConfirmed = {});

} // namespace quillmere
