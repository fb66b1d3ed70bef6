// Times the search's listing, measuring and comparison stages on a folder
// tree (no window) and prints the duplicate sets found, and the longest time
// the stages ran between two points where a window's messages would run.
//
//   bench_search FOLDER [--mask "*.jpg"] [--runs N] [--sets FILE]
//
// Prints one line per run with the time of each stage, then the median total.
// With --sets, writes the duplicate sets of the last run to FILE: each set's
// paths sorted, one per line, the sets sorted and separated by empty lines,
// the form bench/compare_peers.sh compares against other duplicate finders.

#include "common/stop_flag.h"
#include "platform/path_text.h"
#include "search/collect_files.h"
#include "search/compare_stage.h"
#include "search/file_list.h"
#include "search/measure_stage.h"
#include "search/search_view.h"
#include "table/program_tables.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace quillmere;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The pair table holds each set as consecutive rows; the comparison tells how
// many rows each set has.
std::vector<std::vector<std::string>> setsOf(TDataGrid &pairs, const std::vector<int> &setSizes)
{
    std::vector<std::vector<std::string>> sets;
    int row = 0;
    for (const int size : setSizes) {
        auto &set = sets.emplace_back();
        for (int i = 0; i < size && row < pairs.RowCount(); ++i, ++row) {
            set.push_back(textToPath(pairs.CellAt(0, row).text()));
        }
        std::sort(set.begin(), set.end());
    }
    std::sort(sets.begin(), sets.end());
    return sets;
}

// Shows nothing; notes the longest time between two message pumps and the
// stage (Label1's text) it fell in.
class GapTimingView : public SearchView {
public:
    void setLabel1(const QString &text) override { stage_ = text; }
    void setLabel3(const QString &) override { }
    void setLabel4(const QString &) override { }
    void setProgressMaximum(int) override { }
    void setProgressPosition(int) override { }
    void pumpMessages() override
    {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double>(now - last_).count();
        if (gap > longest_) {
            longest_ = gap;
            longestStage_ = stage_;
        }
        last_ = now;
    }
    void restart()
    {
        last_ = Clock::now();
        longest_ = 0;
    }
    double longest() const { return longest_; }
    const QString &longestStage() const { return longestStage_; }

private:
    Clock::time_point last_ = Clock::now();
    double longest_ = 0;
    QString stage_;
    QString longestStage_;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s FOLDER [--mask MASK] [--runs N] [--sets FILE]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    QString mask = QStringLiteral("*.jpg");
    int runs = 1;
    std::string setsFile;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mask") == 0) {
            mask = QString::fromLocal8Bit(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--sets") == 0) {
            setsFile = argv[i + 1];
        }
    }

    GapTimingView view;
    auto candidates = makeCandidateGrid();
    auto pairs = makePairGrid();
    FileList files;
    std::vector<int> setSizes;
    std::vector<double> totals;
    for (int run = 0; run < runs; ++run) {
        files.clear();
        candidates->RemoveAllRows();
        pairs->RemoveAllRows();
        setSizes.clear();
        StopFlag = 0;
        const auto start = Clock::now();
        view.restart();
        CollectFiles(folder, mask, files, true, view);
        const double listed = secondsSince(start);
        MeasureCandidates(files, *candidates, view);
        const double measured = secondsSince(start);
        CompareCandidates(*candidates, *pairs, view, files.folders(), {}, &setSizes);
        const double total = secondsSince(start);
        view.pumpMessages();
        totals.push_back(total);
        std::printf("run %d: listing %.3f s, measuring %.3f s, comparison %.3f s, total %.3f s; "
                    "%d files, %d candidates, %d duplicate rows\n",
                    run + 1, listed, measured - listed, total - measured, total, files.count(),
                    candidates->RowCount(), pairs->RowCount());
        std::printf("longest time between two message pumps: %.1f ms (%s)\n", view.longest() * 1000,
                    view.longestStage().toUtf8().constData());
    }
    StopFlag = 1;
    std::sort(totals.begin(), totals.end());
    std::printf("median total: %.3f s\n", totals[totals.size() / 2]);

    if (!setsFile.empty()) {
        const auto sets = setsOf(*pairs, setSizes);
        std::size_t inSets = 0;
        for (const auto &set : sets) {
            inSets += set.size();
        }
        std::printf("%zu duplicate sets, %zu files in them\n", sets.size(), inSets);
        std::ofstream out(setsFile, std::ios::binary);
        for (std::size_t i = 0; i < sets.size(); ++i) {
            if (i > 0) {
                out << '\n';
            }
            for (const auto &path : sets[i]) {
                out << path << '\n';
            }
        }
    }
    return 0;
}
