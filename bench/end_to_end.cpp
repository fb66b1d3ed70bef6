// Times a whole search, from the listing to the filled result table with its
// thumbnails, on a folder (no window; the message pump does nothing) and
// prints the milliseconds per result row.
//
//   bench_end_to_end FOLDER [--mask "*.jpg"] [--runs N] [--workers N]

#include "common/stop_flag.h"
#include "imaging/image_list.h"
#include "imaging/thumbnails_ahead.h"
#include "search/file_list.h"
#include "search/result_stage.h"
#include "search/search_body.h"
#include "search/search_view.h"
#include "table/program_tables.h"

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace quillmere;

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s FOLDER [--mask \"*.jpg\"] [--runs N] [--workers N]\n", argv[0]);
        return 2;
    }
    QString mask = QStringLiteral("*.jpg");
    int runs = 3;
    // Thumbnail threads: by default as the program runs on this machine.
    int workers = ThumbnailWorkersForThisMachine();
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mask") == 0) {
            mask = QString::fromUtf8(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--workers") == 0) {
            workers = std::max(0, std::atoi(argv[i + 1]));
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    SilentSearchView view;
    FileList files;
    TImageList thumbnails;
    auto results = makeResultGrid(&thumbnails);
    auto candidates = makeCandidateGrid();
    auto pairs = makePairGrid();

    std::vector<double> perRow;
    for (int run = 0; run < runs; ++run) {
        SearchContext context{view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1};
        context.clearThumbnails = [&] { thumbnails.Clear(); };
        context.readOptions = [&] {
            SearchOptions options;
            options.folder = argv[1];
            options.mask = mask;
            return options;
        };
        context.fillResults = [&] {
            return FillResultRowsWithThumbnails(*pairs, *results, files.count(), context.setSizes, view, thumbnails,
                                                workers);
        };
        StopFlag = 0;
        const auto start = std::chrono::steady_clock::now();
        RunSearchBody(context);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        const int rows = results->RowCount();
        perRow.push_back(rows > 0 ? ms / rows : 0.0);
        std::printf("run %d: %d files, %d result rows, %d thumbnails, %d thumbnail threads, %.1f ms, %.2f ms per row\n",
                    run + 1, files.count(), rows, thumbnails.Count(), workers, ms, perRow.back());
    }
    std::sort(perRow.begin(), perRow.end());
    std::printf("median: %.2f ms per result row\n", perRow[perRow.size() / 2]);
    return 0;
}
