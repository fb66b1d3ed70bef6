#pragma once

#include "platform/seen_file.h"

#include <QString>

namespace quillmere {

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

// Removes one marked file by the method and tells whether it is gone. The
// file is left alone when `seen` is empty (the search did not record it) or
// it no longer matches what the search saw.
bool RemoveMarkedFile(const QString &pathText, RemovalMethod method, const std::optional<SeenFile> &seen);

// The removal pass over the result table: writes the heading of the method
// selected now, then, for every row in order, lets window messages run, moves
// the progress to the row and, when the row's Del flag is set, removes the
// file named by its Dest cell with the method selected at that moment. The
// Dest text of every file that is gone goes into the report as a line of its
// own. A file that cannot be removed, is no longer a regular file, or has
// changed since the search saw it (`seenFiles`) stays as it is, unlisted, and
// the pass goes on. An error of the table (rows removed by a search started
// meanwhile) ends the pass silently. Emptying the report and turning to the
// report page beforehand are the caller's.
void RemoveMarkedFiles(TDataGrid &grid, RemovalView &view, const SeenFileLookup &seenFiles);

} // namespace quillmere
