// One whole search as the window runs it, from the listing to the filled
// result table with its thumbnails (no window; the message pump does
// nothing), with the cache of pictures in a given folder or without one.
// Prints the time and a digest of every row's texts and shown thumbnail, so
// that runs with and without the cache can be checked to show the same.
//
//   bench_cache_search FOLDER [--similar] [--cache DIR | --no-cache] [--mask MASK]

#include "common/stop_flag.h"
#include "imaging/image_list.h"
#include "imaging/picture_formats.h"
#include "imaging/thumbnails_ahead.h"
#include "platform/file_cache.h"
#include "platform/processor_count.h"
#include "search/file_list.h"
#include "search/result_stage.h"
#include "search/search_body.h"
#include "search/search_view.h"
#include "table/data_grid.h"
#include "table/program_tables.h"

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <xxhash.h>

using namespace quillmere;

namespace {

// Every row's cells and the pixels of the thumbnail it shows.
std::uint64_t rowsDigest(TDataGrid &results, const TImageList &thumbnails)
{
    XXH3_state_t *state = XXH3_createState();
    XXH3_64bits_reset(state);
    for (int row = 0; row < results.RowCount(); ++row) {
        for (const char *column : {"Dest", "Size", "Date", "Res", "Group", "Similar"}) {
            const QByteArray text = results.CellAt(QString::fromLatin1(column), row).text().toUtf8();
            XXH3_64bits_update(state, text.constData(), static_cast<std::size_t>(text.size()) + 1);
        }
        const int index = results.CellAt(QStringLiteral("Priv"), row).asInteger();
        if (index >= 0 && index < thumbnails.Count()) {
            const QImage entry = thumbnails.Entry(index);
            for (int y = 0; y < entry.height(); ++y) {
                XXH3_64bits_update(state, entry.constScanLine(y), static_cast<std::size_t>(entry.width()) * 4);
            }
        }
    }
    const std::uint64_t digest = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return digest;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s FOLDER [--similar] [--cache DIR | --no-cache] [--mask MASK]\n", argv[0]);
        return 2;
    }
    QString mask = AllPicturesMask();
    bool similar = false;
    std::string cacheFolder = DefaultFileCacheFolder();
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--similar") == 0) {
            similar = true;
        } else if (std::strcmp(argv[i], "--no-cache") == 0) {
            cacheFolder.clear();
        } else if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc) {
            cacheFolder = argv[++i];
        } else if (std::strcmp(argv[i], "--mask") == 0 && i + 1 < argc) {
            mask = QString::fromUtf8(argv[++i]);
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const auto start = std::chrono::steady_clock::now();
    // Opening the cache is part of the search's cost, as in the window.
    std::unique_ptr<FileCache> cache;
    if (!cacheFolder.empty()) {
        cache = std::make_unique<FileCache>(cacheFolder);
    }
    SilentSearchView view;
    FileList files;
    TImageList thumbnails;
    auto results = makeResultGrid(&thumbnails);
    auto candidates = makeCandidateGrid();
    auto pairs = makePairGrid();
    const int workers = ThumbnailWorkersForThisMachine();
    SearchContext context {view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1};
    context.cache = cache && cache->enabled() ? cache.get() : nullptr;
    context.fingerprintWorkers = std::max(1, UsableProcessorCount());
    context.clearThumbnails = [&] { thumbnails.Clear(); };
    context.readOptions = [&] {
        SearchOptions options;
        options.folder = argv[1];
        options.mask = mask;
        options.similarPictures = similar;
        return options;
    };
    context.fillResults = [&] {
        return FillResultRowsWithThumbnails(*pairs, *results, files.count(), context.setSizes, view, thumbnails,
                                            workers, nullptr, context.cache);
    };
    context.fillSimilarResults = [&] {
        return FillSimilarResultRows(context.similar, *results, files.count(), view, thumbnails, workers, nullptr,
                                     context.cache);
    };
    StopFlag = 0;
    RunSearchBody(context);
    const double searched =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // What is still queued for the cache is written before the program
    // ends; the wait is part of the run.
    cache.reset();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s search, %s: %d files, %d result rows, %d thumbnails, %.1f ms (%.1f ms to the last row), "
                "rows %016llx\n",
                similar ? "similar" : "identical", context.cache ? "cache" : "no cache", files.count(),
                results->RowCount(), thumbnails.Count(), ms, searched,
                static_cast<unsigned long long>(rowsDigest(*results, thumbnails)));
    return 0;
}
