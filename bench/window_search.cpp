// Runs the whole search through the main window (TForm1, shown on whatever
// display QT_QPA_PLATFORM names: offscreen, or a virtual X server) on a
// folder tree, then the review actions on the rows it found, and prints the
// time and peak memory of each stage.
//
//   bench_window_search FOLDER [--mask "*.jpg"] [--workers N] [--size 1280x1000]
//
// Stages are told apart by the texts the search shows in Label1. The peak
// of each stage is the process's resident high-water mark, reset as the
// stage begins (Linux: /proc/self/clear_refs). After the search: a header
// click on Size (a full sort), a second one (a reversal), Select All,
// Invert, Keep One, and painting the visible rows, each timed once.

#include "app/main_window.h"
#include "common/stop_flag.h"
#include "folders/folder_edit.h"
#include "platform/path_text.h"
#include "table/data_grid_view.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>

#include <chrono>
#include <ctime>
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

// A value of /proc/self/status in kB ("VmHWM", "VmRSS").
long statusKb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::stol(line.substr(prefix.size()));
        }
    }
    return -1;
}

// Starts a new high-water mark at the current resident size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Processor time of the whole process (every thread), which a busy shared
// machine disturbs less than wall time.
double processorSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Stage {
    std::string name;
    double seconds = 0;
    double processor = 0;
    long peakKb = 0;
    long pumps = 0; // message pumps the stage made
    double pumpSeconds = 0; // and the time spent in them
};

// The stage a text of Label1 starts, or empty when it starts none.
std::string stageOf(const QString &label1)
{
    if (label1.startsWith(QStringLiteral("Files search")) || label1.startsWith(QStringLiteral("Files Search"))) {
        return "listing";
    }
    if (label1 == QStringLiteral("Creating a list of files")) {
        return "measuring";
    }
    if (label1 == QStringLiteral("Compare files:")) {
        return "comparison";
    }
    if (label1.startsWith(QStringLiteral("File: "))) {
        return "result rows";
    }
    if (label1.startsWith(QStringLiteral("Read pictures:"))) {
        return "reading pictures";
    }
    if (label1.startsWith(QStringLiteral("Compare pictures:"))) {
        return "comparing pictures";
    }
    return {};
}

// The window as it runs a search, noting when each stage begins.
class TimedForm : public TForm1 {
public:
    void setLabel1(const QString &text) override
    {
        const std::string stage = stageOf(text);
        if (!stage.empty() && (stages.empty() || stages.back().name != stage)) {
            begin(stage);
        }
        TForm1::setLabel1(text);
    }
    void pumpMessages() override
    {
        const auto start = Clock::now();
        try {
            TForm1::pumpMessages();
        } catch (...) {
            notePump(start);
            throw;
        }
        notePump(start);
    }

    void begin(const std::string &name)
    {
        end();
        stages.push_back({ name, 0, 0, 0 });
        resetPeak();
        started_ = Clock::now();
        processorStarted_ = processorSeconds();
    }
    void end()
    {
        if (!stages.empty() && stages.back().seconds == 0) {
            stages.back().seconds = secondsSince(started_);
            stages.back().processor = processorSeconds() - processorStarted_;
            stages.back().peakKb = statusKb("VmHWM");
        }
    }

    std::vector<Stage> stages;

private:
    void notePump(Clock::time_point start)
    {
        if (!stages.empty()) {
            ++stages.back().pumps;
            stages.back().pumpSeconds += secondsSince(start);
        }
    }

    Clock::time_point started_;
    double processorStarted_ = 0;
};

void printStage(const Stage &stage)
{
    std::printf("  %-22s %9.4f s %9.4f s cpu %9.1f MB", stage.name.c_str(), stage.seconds, stage.processor,
                stage.peakKb / 1024.0);
    if (stage.pumps > 0) {
        std::printf("  %8ld pumps, %.3f s in them", stage.pumps, stage.pumpSeconds);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: %s FOLDER [--mask MASK] [--workers N] [--size WIDTHxHEIGHT]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    QString mask = QStringLiteral("*.jpg");
    int workers = -1;
    int width = 1280;
    int height = 1000;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mask") == 0) {
            mask = QString::fromLocal8Bit(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--workers") == 0) {
            workers = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--size") == 0) {
            std::sscanf(argv[i + 1], "%dx%d", &width, &height);
        }
    }

    TimedForm form;
    if (workers >= 0) {
        form.ThumbnailWorkers = workers;
    }
    form.Edit1->setText(pathToText(folder));
    form.ComboBox1->setCurrentIndex(form.ComboBox1->findText(mask));
    // A large window by default: more rows to paint at once.
    form.resize(width, height);
    form.show();
    QApplication::processEvents();

    const long startKb = statusKb("VmRSS");
    const auto start = Clock::now();
    const double processorStart = processorSeconds();
    form.begin("start");
    form.BitBtn1Click();
    form.end();
    const double total = secondsSince(start);
    const double totalProcessor = processorSeconds() - processorStart;
    long peakKb = 0;
    std::printf("window search of %s: %d files, %d rows\n", folder.c_str(), form.Memo1.count(),
                form.DataGrid1->RowCount());
    for (const Stage &stage : form.stages) {
        printStage(stage);
        peakKb = std::max(peakKb, stage.peakKb);
    }
    std::printf("  %-22s %9.3f s %9.3f s cpu %9.1f MB (resident before: %.1f MB)\n", "whole search", total,
                totalProcessor, peakKb / 1024.0, startKb / 1024.0);

    // The review actions on the rows found, each on its own.
    const auto timed = [&form](const char *name, const auto &action) {
        form.begin(name);
        action();
        QApplication::processEvents();
        form.end();
        printStage(form.stages.back());
    };
    TDataGrid &grid = *form.DataGrid1;
    const int size = grid.FindColumn(QStringLiteral("Size"))->Index();
    std::printf("review of %d rows:\n", grid.RowCount());
    timed("sort by Size", [&] { grid.HeaderClick(size); });
    timed("sort again (reverse)", [&] { grid.HeaderClick(size); });
    timed("Select All", [&] { form.BitBtn_2Click(); });
    timed("Invert", [&] { form.BitBtn_1Click(); });
    timed("Keep One", [&] { form.KeepOneClick(); });
    // The window's paint of the rows in view, alone.
    const auto painted = [&form](const char *name) {
        const auto start = Clock::now();
        form.DataGrid1View->viewport()->repaint();
        std::printf("  %-22s %9.4f s\n", name, secondsSince(start));
        QApplication::processEvents();
    };
    painted("paint visible rows");
    painted("paint them again");
    // Rows never drawn: their pictures are expanded from their compact form.
    // Pages spread over the table, each painted once; the slowest is shown
    // beside the mean.
    if (grid.RowCount() > 0) {
        constexpr int kFarPages = 50;
        double slowest = 0;
        double sum = 0;
        for (int page = 0; page < kFarPages; ++page) {
            form.DataGrid1View->scrollToRow(static_cast<int>((page * 2 + 1) * static_cast<long>(grid.RowCount()) /
                                                             (2 * kFarPages)));
            // The window's own paint of the page scrolled to, before any
            // other message runs (which would paint it first).
            const auto start = Clock::now();
            form.DataGrid1View->viewport()->repaint();
            const double seconds = secondsSince(start);
            sum += seconds;
            slowest = std::max(slowest, seconds);
            // The rows near the view are made ready, as between events.
            QApplication::processEvents();
        }
        std::printf("  %-22s %9.4f s mean, %.4f s the slowest of %d\n", "paint a far page", sum / kFarPages,
                    slowest, kFarPages);
    }
    // Expanding one stored thumbnail, over pictures spread through the list.
    if (form.ImageList1.Count() > 0) {
        constexpr int kExpansions = 200;
        const auto start = Clock::now();
        for (int i = 0; i < kExpansions; ++i) {
            form.ImageList1.Entry(static_cast<int>(static_cast<long>(i) * 7919 % form.ImageList1.Count()));
        }
        std::printf("  %-22s %9.6f s mean\n", "expand a thumbnail", secondsSince(start) / kExpansions);
    }
    form.ImageList1.finishCompacting();
    std::printf("thumbnail list: %d entries, %d distinct pictures in %.1f MB\n", form.ImageList1.Count(),
                form.ImageList1.pictureCount(), static_cast<double>(form.ImageList1.compactBytes()) / 1048576.0);
    for (const Stage &stage : form.stages) {
        peakKb = std::max(peakKb, stage.peakKb);
    }
    std::printf("peak of the whole run: %.1f MB\n", peakKb / 1024.0);
    return 0;
}
