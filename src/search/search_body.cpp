#include "search/search_body.h"

#include "app/stop_flag.h"
#include "search/collect_files.h"
#include "search/compare_stage.h"
#include "search/file_list.h"
#include "search/measure_stage.h"
#include "search/path_rules.h"
#include "search/search_view.h"
#include "table/data_grid.h"

namespace quillmere {

void RunSearchBody(SearchContext &context)
{
    bool stopped = false;
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
        CollectFiles(options.folder, options.mask, context.files, options.recurse, context.view);
        if (options.excludeSystemFolders) {
            RemoveSystemPaths(context.files);
        }
        // Fewer than two paths or candidates leave nothing to compare: the
        // run goes straight to its end.
        context.setSizes.clear();
        context.foundFiles.clear();
        if (MeasureCandidates(context.files, context.candidates, context.view)
            && CompareCandidates(context.candidates, context.pairs, context.view, {}, &context.setSizes,
                                 &context.foundFiles)) {
            // ---- Result stage: rows of DataGrid1 from the pair table. ----
            if (context.fillResults) {
                stopped = !context.fillResults();
            }
        }
    } catch (...) {
        // Any error ends the search without a message; the end of run follows.
    }
    if (stopped) {
        return;
    }
    context.results.Repaint();
    context.view.setLabel1(QStringLiteral("Finish"));
    StopFlag = 1;
}

} // namespace quillmere
