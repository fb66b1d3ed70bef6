// Times the visible result table with many rows: filling it while the view
// listens (every write notifies the view), and painting it at scroll
// positions spread over the whole table.
//
//   bench_grid_view [--rows N] [--paints N] [--fill-only-model]
//
// --fill-only-model fills a second table with no view attached first, as the
// baseline that the view's share of the filling time is read against.
//
// Runs headless (offscreen) unless QT_QPA_PLATFORM says otherwise.

#include "imaging/bitmap.h"
#include "imaging/image_list.h"
#include "table/data_grid_view.h"
#include "table/program_tables.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace quillmere;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Fills the table as the search does: one append and five writes per row.
void fill(TDataGrid &grid, int rows)
{
    for (int i = 0; i < rows; ++i) {
        const int row = grid.AppendRows(1);
        grid.CellAt(QStringLiteral("Priv"), row).setInteger(i % 8);
        grid.CellAt(QStringLiteral("Dest"), row)
            .setText(QStringLiteral("/home/user/Pictures/folder %1/IMG_%2.jpg").arg(i / 50).arg(i));
        grid.CellAt(QStringLiteral("Size"), row).setText(QString::number(100000 + i / 2));
        grid.CellAt(QStringLiteral("Date"), row).setText(QStringLiteral("12/03/24"));
        grid.CellAt(QStringLiteral("Group"), row).setFloat(1 + i / 2);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    int rows = 20000;
    int paints = 200;
    bool baseline = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            rows = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--paints") == 0 && i + 1 < argc) {
            paints = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--fill-only-model") == 0) {
            baseline = true;
        }
    }

    TImageList thumbnails;
    for (int i = 0; i < 8; ++i) {
        TBitmap bitmap;
        bitmap.SetSize(100, 75);
        bitmap.Canvas().fill(QColor::fromHsv(i * 45, 120, 220));
        thumbnails.Add(bitmap);
    }
    if (baseline) {
        auto alone = makeResultGrid(&thumbnails);
        const auto start = Clock::now();
        fill(*alone, rows);
        std::printf("rows %d: fill without a view %.1f ms\n", rows, millisecondsSince(start));
    }

    auto grid = makeResultGrid(&thumbnails);
    TDataGridView view(*grid);
    view.resize(820, 600);
    view.show();
    app.processEvents();

    auto start = Clock::now();
    fill(*grid, rows);
    const double filling = millisecondsSince(start);
    app.processEvents();

    // Painting the viewport at positions spread over the table.
    QImage canvas(view.viewport()->size(), QImage::Format_RGB32);
    QScrollBar *bar = view.verticalScrollBar();
    start = Clock::now();
    for (int i = 0; i < paints; ++i) {
        bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * i / std::max(1, paints - 1)));
        view.viewport()->render(&canvas);
    }
    const double paint = millisecondsSince(start);

    std::printf("rows %d: fill with view listening %.1f ms (%.2f us/row); %d paints %.1f ms (%.2f ms/paint)\n", rows,
                filling, filling * 1000.0 / std::max(1, rows), paints, paint, paint / std::max(1, paints));
    return 0;
}
