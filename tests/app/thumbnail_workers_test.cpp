#include "common/random_generator.h"
#include "imaging/thumbnails_ahead.h"
#include "support/threads.h"
#include "window_fixture.h"

#include <QLabel>
#include <QTimer>

using namespace quillmere;

namespace {

class ThumbnailWorkers : public test::WindowFixture {
protected:
    // Everything a finished search shows: every cell of every row, and every
    // entry of the thumbnail list.
    struct Outcome {
        std::vector<std::string> rows; // cells joined by '|'
        std::vector<QImage> thumbnails;
    };
    Outcome searchWith(int workers, const char *mask)
    {
        form.ThumbnailWorkers = workers;
        RandomState() = 0; // the same sort pivots, so the same row order
        search(mask);
        EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
        Outcome outcome;
        for (int row = 0; row < form.DataGrid1->RowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < form.DataGrid1->ColumnCount(); ++column) {
                cells << form.DataGrid1->CellAt(column, row).text();
            }
            outcome.rows.push_back(cells.join(QLatin1Char('|')).toStdString());
        }
        for (int i = 0; i < form.ImageList1.Count(); ++i) {
            outcome.thumbnails.push_back(form.ImageList1.Entry(i));
        }
        return outcome;
    }
    // n files: each of `pictures` pictures and its copies.
    void writeCopies(const char *format, const char *extension, int pictures, int copies, int width, int height)
    {
        for (int p = 0; p < pictures; ++p) {
            const std::string first = writePicture("p" + std::to_string(p) + extension, width + p, height, format, p);
            for (int c = 1; c < copies; ++c) {
                copyFile(first, "p" + std::to_string(p) + "-" + std::to_string(c) + extension);
            }
        }
    }
};

} // namespace

TEST_F(ThumbnailWorkers, aSearchOnWorkerThreadsShowsWhatOneThreadShows)
{
    // Pictures of many sizes, each with copies, beside files that make
    // stand-ins, partial pictures and two thumbnails for one row.
    const std::vector<QSize> sizes{{40, 30}, {320, 240}, {1024, 768}, {97, 3}, {1900, 1400}, {5, 700}};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "s" + std::to_string(i);
        const std::string jpeg = writePicture(name + ".jpg", sizes[i].width(), sizes[i].height(), "JPG", int(i));
        copyFile(jpeg, name + "-copy.jpg");
        const std::string png = writePicture(name + ".png", sizes[i].width(), sizes[i].height(), "PNG", int(i));
        copyFile(png, name + "-copy.png");
    }
    tree.writeFile("broken.jpg", std::string(300, 'x'));
    tree.writeFile("broken-copy.jpg", std::string(300, 'x'));
    const std::string whole = test::TempTree::readFile(tree.path("s4.jpg"));
    tree.writeFile("cut.jpg", whole.substr(0, whole.size() / 2));
    tree.writeFile("cut-copy.jpg", whole.substr(0, whole.size() / 2));
    const std::string bitmap = writePicture("inner.bmp", 64, 48, "BMP", 9);
    copyFile(bitmap, "both.bmp.jpg");
    copyFile(bitmap, "both-copy.bmp.jpg");
    tree.writeFile("cut.png", test::TempTree::readFile(tree.path("s2.png")).substr(0, 4000));
    tree.writeFile("cut-copy.png", test::TempTree::readFile(tree.path("s2.png")).substr(0, 4000));

    for (const char *mask : {"*.jpg", "*.png"}) {
        const Outcome alone = searchWith(0, mask);
        const Outcome ahead = searchWith(4, mask);
        ASSERT_GE(alone.rows.size(), 14u) << mask;
        EXPECT_EQ(ahead.rows, alone.rows) << mask;
        ASSERT_EQ(ahead.thumbnails.size(), alone.thumbnails.size()) << mask;
        for (std::size_t i = 0; i < alone.thumbnails.size(); ++i) {
            EXPECT_EQ(ahead.thumbnails[i], alone.thumbnails[i]) << mask << " entry " << i;
        }
    }
}

TEST_F(ThumbnailWorkers, noWorkerOutlivesASearchStoppedClosedOrSuperseded)
{
    writeCopies("JPG", ".jpg", 6, 4, 1400, 1000);
    enum class Action { Stop, Close, BackThenStart };
    for (const Action action : {Action::Stop, Action::Close, Action::BackThenStart}) {
        int workersWhilePressing = -1;
        QTimer presser;
        presser.setInterval(0);
        QObject::connect(&presser, &QTimer::timeout, [&] {
            if (workersWhilePressing >= 0 || form.DataGrid1->RowCount() != 2) {
                return;
            }
            workersWhilePressing = test::threadsNamed(kThumbnailThreadName);
            switch (action) {
            case Action::Stop:
                form.BitBtn2Click();
                break;
            case Action::Close:
                form.close();
                break;
            case Action::BackThenStart:
                form.BitBtn2Click();
                form.BitBtn4Click();
                form.BitBtn1Click(); // runs a whole new search here
                break;
            }
        });
        presser.start();
        form.ThumbnailWorkers = 3;
        search("*.jpg");
        presser.stop();
        EXPECT_EQ(workersWhilePressing, 3) << int(action);
        EXPECT_EQ(test::threadsNamedAfterJoin(kThumbnailThreadName), 0) << int(action);
        EXPECT_EQ(StopFlag, 1);
        if (action == Action::Stop) {
            EXPECT_LE(form.DataGrid1->RowCount(), 3);
            EXPECT_NE(form.Label1->text(), QStringLiteral("Finish"));
        } else if (action == Action::BackThenStart) {
            EXPECT_EQ(form.DataGrid1->RowCount(), 24);
            EXPECT_EQ(form.ImageList1.Count(), 24);
        }
        form.show();
        QCoreApplication::processEvents();
    }
}
