#pragma once

#include "platform/folder_set.h"
#include "removal/removal_outcome.h"
#include "search/found_files.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <set>
#include <vector>

namespace quillmere {

class TDataGrid;

// The ways of removing a marked file.
enum class RemovalMethod {
    RecycleBin, // "Delete to the Recycle bin"
    HardDrive,  // "Delete from hard drive": overwrite three times, then delete
    HardLinks,  // replace each by a hard link to an unmarked identical copy
};

// The removal and report pages as the pass sees them.
class RemovalView {
public:
    virtual ~RemovalView() = default;
    virtual void addReportLine(const QString &line) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // Lets pending window messages run.
    virtual void processMessages() = 0;
};

// Everything a removal pass works from, fixed when Delete is pressed: the
// result rows in their order with their marks, what the comparison read of
// every found file, the method, and the sets whose every copy the user agreed
// to remove, and the folders whose files are never removed. Whatever the user
// does while the pass runs (marking, sorting, another method, a new search)
// cannot change what it removes or how.
struct RemovalPlan {
    struct Row {
        QString pathText;
        bool marked = false;
    };

    RemovalMethod method = RemovalMethod::RecycleBin;
    std::vector<Row> rows;
    QSet<QString> marked;
    FoundFileRecord found;
    std::set<int> everyCopyConfirmed;
    FolderSet protectedFolders;
};

// The plan of a pass over the result table as it stands now.
RemovalPlan PlanRemoval(TDataGrid &grid, const FoundFileRecord &found, RemovalMethod method);

// The report's first line for the method.
QString RemovalHeading(RemovalMethod method);

// The sets of identical files (numbers of the plan's record) whose every
// member is marked and none lies in a protected folder: removing the marked
// files would leave no copy.
std::vector<int> SetsLosingEveryCopy(const RemovalPlan &plan);

// What a pass of the plan would do, as the removal page tells it before
// Delete: the marked rows (outside protected folders), the bytes their
// removal frees, and the sets that
// would lose every copy (with hard links: whose files cannot be linked, as no
// copy stays).
struct RemovalSummary {
    int files = 0;
    std::int64_t bytes = 0;
    int setsLosingEveryCopy = 0;
};
RemovalSummary SummarizeRemoval(const RemovalPlan &plan);
QString RemovalSummaryText(const RemovalSummary &summary, RemovalMethod method);

// The last line of a report: the space the pass freed.
QString SpaceFreedLine(std::int64_t bytes, RemovalMethod method);
// A number of bytes as people read it: "512 B", "14.75 KB", "3.20 GB".
QString ByteCountText(std::int64_t bytes);

// The removal pass: writes the heading of the plan's method, then, for every
// row of the plan in order, lets window messages run, moves the progress to
// the row and, when the row is marked, removes its file and lists it when it
// is gone.
//
// A marked file inside a protected folder is never removed, whatever its
// mark; it counts as a copy that stays. Any other marked file is removed only
// when it is the very file the search read,
// unchanged, in the folder it was found in, and, unless its set is among the
// confirmed ones, while at least one unmarked member of its set, another file
// than the marked one, still stands unchanged. After the removed files come,
// each section behind an empty line and a count: the removed files that were
// similar pictures rather than copies of the bytes kept, each with how alike
// it was to which copy; the files that were deleted but not wholly
// overwritten; then every other marked file that was not removed, each with
// the reason in plain words; last, the space freed. With hard links each
// replaced file is listed with the copy it now links to. Paths are shown on one line each, as a person
// reads them. Emptying the report and turning to the report page beforehand
// are the caller's.
void RemoveMarkedFiles(const RemovalPlan &plan, RemovalView &view);

} // namespace quillmere
