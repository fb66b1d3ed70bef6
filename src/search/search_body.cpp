#include "search/search_body.h"

#include "common/stop_flag.h"
#include "search/collect_files.h"
#include "search/compare_stage.h"
#include "search/file_list.h"
#include "search/measure_stage.h"
#include "search/path_rules.h"
#include "search/search_view.h"
#include "table/data_grid.h"

#include <exception>
#include <new>
#include <optional>

namespace quillmere {

namespace {

// What Label1 says instead of "Finish" when an error cut the search short.
QString endedEarlyText(const QString &why)
{
    return QStringLiteral("Search ended early: ") + why;
}

} // namespace

void RunSearchBody(SearchContext &context)
{
    bool stopped = false;
    // Why the search ended before its end, when an error ended it.
    std::optional<QString> endedEarly;
    try {
        context.files.clear();
        if (context.clearReport) {
            context.clearReport();
        }
        if (context.clearThumbnails) {
            context.clearThumbnails();
        }
        context.results.RemoveAllRows();
        context.candidates.RemoveAllRows();
        context.pairs.RemoveAllRows();
        context.view.setLabel1(QStringLiteral("Files search "));

        const SearchOptions options = context.readOptions ? context.readOptions() : SearchOptions {};
        std::vector<std::string> removalFolders;
        CollectFiles(options.folder, options.mask, context.files, options.recurse, context.view, &removalFolders);
        if (!removalFolders.empty() && context.finishRemovalFolders) {
            context.finishRemovalFolders(removalFolders);
        }
        if (options.excludeSystemFolders) {
            RemoveSystemPaths(context.files);
        }
        context.setSizes.clear();
        context.foundFiles.clear();
        context.similar.clear();
        // Identical files: fewer than two paths or candidates leave nothing
        // to compare, and the run goes straight to its end.
        if (options.similarPictures) {
            // Similar pictures are found from the pictures themselves: no
            // candidate or pair table, the sets come typed.
            if (!FindSimilarPictures(context.files.paths(), context.files.folders(), options.similarity, context.view,
                                     context.fingerprintWorkers, context.similar, context.cache)) {
                stopped = true;
            } else if (context.fillSimilarResults) {
                stopped = !context.fillSimilarResults();
            }
        } else if (MeasureCandidates(context.files, context.candidates, context.view)
            && CompareCandidates(context.candidates, context.pairs, context.view, context.files.folders(), {},
                                 &context.setSizes, &context.foundFiles)) {
            // ---- Result stage: rows of DataGrid1 from the pair table. ----
            if (context.fillResults) {
                stopped = !context.fillResults();
            }
        }
    } catch (const SearchAbandoned &abandoned) {
        // The window is closing, or a newer search owns the tables and the
        // flag now: nothing more is shown.
        if (!abandoned.superseded) {
            StopFlag = 1;
        }
        return;
    } catch (const std::bad_alloc &) {
        endedEarly = QStringLiteral("out of memory");
    } catch (const std::exception &error) {
        endedEarly = QString::fromUtf8(error.what());
    } catch (...) {
        endedEarly = QStringLiteral("unknown error");
    }
    // Any error ends the search without a message box, but the found page
    // says that the result is incomplete, so it is never taken for a whole one.
    if (stopped) {
        return;
    }
    StopFlag = 1;
    try {
        context.results.Repaint();
        context.view.setLabel1(endedEarly ? endedEarlyText(*endedEarly) : QStringLiteral("Finish"));
    } catch (...) {
        // Showing the end can only fail for want of memory; the run is over
        // either way and no error leaves the search.
    }
}

} // namespace quillmere
