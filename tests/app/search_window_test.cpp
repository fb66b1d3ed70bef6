#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "support/picture_samples.h"
#include "support/pictures.h"
#include "table/program_tables.h"
#include "window_fixture.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <functional>
#include <set>

using namespace quillmere;

namespace {
class SearchWindow : public test::WindowFixture { };

int colourDistanceOf(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}
} // namespace

TEST_F(SearchWindow, aJpegSearchFillsEveryDuplicateRow)
{
    tree.makeFolder("sub");
    const std::string a = writePicture("a.jpg", 640, 480, "JPG", 1);
    const std::string aCopy = copyFile(a, "sub/a copy.jpg");
    writePicture("unique.jpg", 640, 480, "JPG", 2);
    const std::string broken1 = tree.writeFile("broken1.jpg", std::string(300, 'x'));
    const std::string broken2 = tree.writeFile("sub/broken2.JPG", std::string(300, 'x'));
    const std::string both1 = writePicture("photo.bmp.jpg", 320, 240, "JPG", 3);
    const std::string both2 = copyFile(both1, "sub/photo2.bmp.jpg");
    tree.writeFile("tiny.jpg", std::string(100, 'y'));
    tree.writeFile("tiny2.jpg", std::string(100, 'y'));

    search("*.jpg");

    EXPECT_EQ(form.currentPage(), 1);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("Found files: 9"));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("Duplicates: 5"));
    ASSERT_EQ(form.DataGrid1->RowCount(), 6);

    for (const std::string &path : {a, aCopy}) {
        const int row = rowOf(path);
        ASSERT_GE(row, 0) << path;
        EXPECT_EQ(cell("Res", row), QStringLiteral("640 X 480"));
        EXPECT_TRUE(cell("Size", row).endsWith(QStringLiteral(" KB")));
    }
    for (const std::string &path : {broken1, broken2}) {
        const int row = rowOf(path);
        ASSERT_GE(row, 0) << path;
        // A file that is no JPEG gets the stand-in picture and its size.
        EXPECT_EQ(cell("Res", row), QStringLiteral("100 X 80"));
        EXPECT_EQ(cell("Size", row), QStringLiteral("300 B"));
    }
    for (const std::string &path : {both1, both2}) {
        const int row = rowOf(path);
        ASSERT_GE(row, 0) << path;
        // The JPEG step sets the resolution; the failed bitmap step keeps it.
        EXPECT_EQ(cell("Res", row), QStringLiteral("320 X 240"));
    }
    // Two names passed both tests, so the list holds eight pictures; no two
    // rows share one. Both steps of a photo.bmp.jpg row read the JPEG file
    // it is, so both of its entries show the photo.
    EXPECT_EQ(form.ImageList1.Count(), 8);
    const QImage standIn = test::fallbackThumbnail();
    for (const std::string &path : {both1, both2}) {
        const int shown = form.DataGrid1->CellAt(QStringLiteral("Priv"), rowOf(path)).asInteger();
        ASSERT_TRUE(shown >= 1 && shown < form.ImageList1.Count()) << shown;
        EXPECT_NE(form.ImageList1.Entry(shown), standIn);
        EXPECT_EQ(form.ImageList1.Entry(shown - 1), form.ImageList1.Entry(shown));
    }
    EXPECT_EQ(form.ImageList1.Entry(form.DataGrid1->CellAt(QStringLiteral("Priv"), rowOf(broken1)).asInteger()), standIn);
    std::set<int> pictures;
    std::map<QString, std::set<QString>> sizesOfGroup;
    for (int row = 0; row < 6; ++row) {
        pictures.insert(form.DataGrid1->CellAt(QStringLiteral("Priv"), row).asInteger());
        sizesOfGroup[cell("Group", row)].insert(cell("Size", row));
        EXPECT_FALSE(cell("Date", row).isEmpty());
        EXPECT_EQ(cell("Del", row), QStringLiteral("False"));
    }
    EXPECT_EQ(pictures.size(), 6u);
    // Three sets of identical files, each numbered once.
    ASSERT_EQ(sizesOfGroup.size(), 3u);
    for (const auto &[group, sizes] : sizesOfGroup) {
        EXPECT_EQ(sizes.size(), 1u) << group.toStdString();
    }
}

TEST_F(SearchWindow, aBrokenBitmapDoesNotHideLaterDuplicates)
{
    const std::string good = writePicture("good.bmp", 64, 48, "BMP", 1);
    copyFile(good, "good2.bmp");
    tree.writeFile("bad1.bmp", "XX" + std::string(200, '\0'));
    tree.writeFile("bad2.bmp", "XX" + std::string(200, '\0'));
    const std::string holiday = copyFile(good, "holiday.jpg.bmp");

    search("*.bmp");

    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    EXPECT_EQ(cell("Res", rowOf(tree.path("bad1.bmp"))), QString());
    EXPECT_EQ(cell("Res", rowOf(tree.path("bad2.bmp"))), QString());
    EXPECT_EQ(cell("Res", rowOf(tree.path("good.bmp"))), QStringLiteral("64 X 48"));
    // Both steps read the bitmap the file is.
    EXPECT_EQ(cell("Res", rowOf(holiday)), QStringLiteral("64 X 48"));
    EXPECT_EQ(form.ImageList1.Count(), 6);
}

TEST_F(SearchWindow, aPngSearchShowsEveryRowsPictureAndResolution)
{
    const std::string first = writePicture("a.png", 50, 40, "PNG", 1);
    copyFile(first, "b.png");
    copyFile(first, "c.PNG");
    const std::string other = writePicture("d.png", 30, 60, "PNG", 2);
    copyFile(other, "e.png");
    tree.writeFile("broken1.png", std::string(300, 'x'));
    tree.writeFile("broken2.png", std::string(300, 'x'));
    copyFile(first, "a.png.bak"); // not found by "*.png"

    search("*.png");

    ASSERT_EQ(form.DataGrid1->RowCount(), 7);
    EXPECT_EQ(form.ImageList1.Count(), 7);
    const QImage standIn = test::fallbackThumbnail();
    std::set<int> pictures;
    for (int row = 0; row < 7; ++row) {
        const QString name = cell("Dest", row).section(QLatin1Char('/'), -1);
        const int shown = form.DataGrid1->CellAt(QStringLiteral("Priv"), row).asInteger();
        ASSERT_TRUE(shown >= 0 && shown < 7) << shown;
        pictures.insert(shown);
        const QImage thumbnail = form.ImageList1.Entry(shown);
        if (name.startsWith(QStringLiteral("broken"))) {
            EXPECT_EQ(cell("Res", row), QStringLiteral("100 X 80"));
            EXPECT_EQ(thumbnail, standIn);
        } else {
            EXPECT_EQ(cell("Res", row), name < QStringLiteral("d") ? QStringLiteral("50 X 40") : QStringLiteral("30 X 60"))
                << name.toStdString();
            EXPECT_NE(thumbnail, standIn);
            // The writer's pattern at the picture's top left corner.
            const int seed = name < QStringLiteral("d") ? 1 : 2;
            EXPECT_LE(colourDistanceOf(thumbnail.pixel(0, 0), qRgb(seed * 40, seed, seed * 3)), 2) << name.toStdString();
        }
    }
    EXPECT_EQ(pictures.size(), 7u);
    form.PageControl1->setCurrentIndex(1);
    EXPECT_FALSE(form.grab().isNull());

    // A second search starts from empty tables and an empty list.
    tree.writeFile("a.png", "changed");
    search("*.png");
    EXPECT_EQ(form.DataGrid1->RowCount(), 6);
    EXPECT_EQ(form.ImageList1.Count(), 6);
}

TEST_F(SearchWindow, backThenStartDuringASearchStopsIt)
{
    for (int i = 0; i < 6; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", std::string(500, 'q'));
    }
    bool pressed = false;
    // While the first row's labels are shown: Back, then Start on the options page.
    QObject::connect(form.Label1, &QLabel::windowTitleChanged, [] {});
    form.DataGrid1->onChanged = [&, previous = form.DataGrid1->onChanged] {
        if (previous) {
            previous();
        }
        if (!pressed && form.DataGrid1->RowCount() == 1) {
            pressed = true;
            form.BitBtn4Click();
            EXPECT_EQ(form.currentPage(), 0);
            form.BitBtn1Click(); // nested: flips the flag to 1 and runs nothing
            EXPECT_EQ(StopFlag, 1);
            EXPECT_EQ(form.Label1->text(), QString());
        }
    };
    search("*.jpg");
    EXPECT_TRUE(pressed);
    // The running search stopped at its next row test: one row, no "Finish".
    EXPECT_EQ(form.DataGrid1->RowCount(), 1);
    EXPECT_NE(form.Label1->text(), QStringLiteral("Finish"));
}

TEST_F(SearchWindow, progressBarsWithAnEmptyRangeStandStill)
{
    // One pair of identical files: every stage's maximum is 0.
    tree.writeFile("a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(500, 'a'));
    search("*.jpg");
    ASSERT_EQ(form.DataGrid1->RowCount(), 2);
    // An equal minimum and maximum is Qt's moving "busy" bar.
    EXPECT_LT(form.ProgressBar1->minimum(), form.ProgressBar1->maximum());
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum()) << "full at the end";

    form.setProgressMaximum(0);
    form.setProgressPosition(0);
    EXPECT_LT(form.ProgressBar1->minimum(), form.ProgressBar1->maximum());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    form.setProgressMaximum(10);
    form.setProgressPosition(12);
    EXPECT_EQ(form.ProgressBar1->value(), 10) << "a position past the maximum fills the bar";

    // The report page's bar over a table of one row.
    form.DataGrid1->RemoveAllRows();
    form.DataGrid1->AppendRows(1);
    form.PageControl1->setCurrentIndex(2);
    form.BitBtn6Click();
    EXPECT_LT(form.ProgressBar2->minimum(), form.ProgressBar2->maximum());
}

TEST_F(SearchWindow, aRelativeStartFolderGivesRowsWithAbsolutePaths)
{
    tree.makeFolder("pictures");
    const std::string a = tree.writeFile("pictures/a.jpg", std::string(500, 'a'));
    tree.writeFile("pictures/b.jpg", std::string(500, 'a'));
    const QString here = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(tree.root())));
    form.Edit1->setText(QStringLiteral("pictures"));
    search("*.jpg");
    QDir::setCurrent(here);
    ASSERT_EQ(form.DataGrid1->RowCount(), 2);
    EXPECT_GE(rowOf(a), 0) << cell("Dest", 0).toStdString();
    form.DataGrid1->SelectCell(1, rowOf(a));
    form.Execute1Click();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_TRUE(shell.calls[0].uri.startsWith(QStringLiteral("file:///"))) << shell.calls[0].uri.toStdString();
}

TEST_F(SearchWindow, closingTheWindowEndsEveryStageAtItsNextPump)
{
    // Twenty pairs of identical files, each pair of its own size, in folders.
    for (int i = 0; i < 40; ++i) {
        const std::string folder = "f" + std::to_string(i % 4);
        if (i < 4) {
            tree.makeFolder(folder);
        }
        tree.writeFile(folder + "/p" + std::to_string(i) + ".jpg", std::string(200 + i / 2, 'p'));
    }
    const auto progress = [this] { return form.ProgressBar1->value(); };
    const auto label1 = [this] { return form.Label1->text(); };
    struct Stage {
        const char *label;
        std::function<bool()> closeWhen;
    };
    const std::vector<Stage> stages{
        {"Files search ", [&] { return form.Memo1.count() == 3; }},
        {"Creating a list of files", [&] { return label1() == QStringLiteral("Creating a list of files") && progress() == 3; }},
        {"Compare files:", [&] { return label1() == QStringLiteral("Compare files:") && progress() == 4; }},
    };
    for (const Stage &stage : stages) {
        // The close box pressed while the search lets messages run.
        bool closed = false;
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (!closed && stage.closeWhen()) {
                closed = true;
                form.close();
            }
        });
        closer.start();
        search("*.jpg");
        closer.stop();
        ASSERT_TRUE(closed) << stage.label;
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.Label1->text(), QString::fromLatin1(stage.label));
        EXPECT_EQ(StopFlag, 1);
        EXPECT_EQ(form.DataGrid1->RowCount(), 0);
        const QString name = QString::fromLatin1(stage.label);
        if (name == QStringLiteral("Files search ")) {
            EXPECT_EQ(form.Memo1.count(), 3);
            EXPECT_EQ(form.DataGrid2->RowCount(), 0);
        } else if (name == QStringLiteral("Creating a list of files")) {
            // Paths 0 to 3 measured, none after; the table never sorted.
            EXPECT_EQ(form.Memo1.count(), 40);
            EXPECT_LE(form.DataGrid2->RowCount(), 4);
            EXPECT_EQ(progress(), 3);
        } else {
            // Rows 0 to 4 reached, so at most the first two pairs compared.
            EXPECT_EQ(form.DataGrid2->RowCount(), 40);
            EXPECT_LE(form.DataGrid3->RowCount(), 4);
            EXPECT_EQ(progress(), 4);
        }
        form.show();
        QCoreApplication::processEvents();
    }
}

TEST_F(SearchWindow, stopBackAndStartInOnePumpLeaveOnlyTheNewSearchsRows)
{
    // Two sets of three identical files.
    for (int i = 0; i < 6; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", std::string(500 + i % 2, 'q'));
    }
    // While the second row's labels are shown, one pump handles Stop, Back
    // and Start: the new search runs to its end inside that pump.
    bool pressed = false;
    QTimer presser;
    presser.setInterval(0);
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (!pressed && form.DataGrid1->RowCount() == 1 && form.Label1->text().startsWith(QStringLiteral("File: "))) {
            pressed = true;
            form.BitBtn2Click();
            form.BitBtn4Click();
            form.BitBtn1Click();
            EXPECT_EQ(form.DataGrid1->RowCount(), 6);
        }
    });
    presser.start();
    search("*.jpg");
    presser.stop();
    ASSERT_TRUE(pressed);
    // The superseded search added nothing to the new search's tables.
    ASSERT_EQ(form.DataGrid1->RowCount(), 6);
    EXPECT_EQ(form.DataGrid3->RowCount(), 6);
    std::set<QString> paths;
    for (int row = 0; row < 6; ++row) {
        paths.insert(cell("Dest", row));
    }
    EXPECT_EQ(paths.size(), 6u);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    EXPECT_EQ(StopFlag, 1);
    EXPECT_EQ(form.currentPage(), 1);
}

TEST_F(SearchWindow, anAllPicturesSearchShowsEveryRegisteredFormatsOwnThumbnail)
{
    ASSERT_EQ(form.ComboBox1->itemText(form.ComboBox1->count() - 1), QStringLiteral("All pictures"));
    tree.makeFolder("sub");
    std::vector<std::string> paths;
    int seed = 0;
    for (const PictureFormat *format : PictureFormats()) {
        // Each format's sample at its own size, so no two sets are equal; the
        // copy carries the format's last extension in capitals.
        const int width = 120 + 4 * seed++;
        const std::string extension = format->extensions().back();
        const std::string name = "sample-" + format->name().toStdString();
        paths.push_back(tree.writeFile(name + "." + format->extensions().front(), test::sampleOf(*format).write(width, 90)));
        paths.push_back(copyFile(paths.back(), "sub/" + name + "." + QString::fromStdString(extension).toUpper().toStdString()));
        tree.writeFile(name + "-backup." + extension + ".bak", test::TempTree::readFile(paths.back()));
    }

    search("All pictures");

    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    ASSERT_EQ(form.DataGrid1->RowCount(), static_cast<int>(paths.size()));
    const QImage standIn = test::fallbackThumbnail();
    std::set<int> shown;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int row = rowOf(paths[i]);
        ASSERT_GE(row, 0) << paths[i];
        const int index = form.DataGrid1->CellAt(QStringLiteral("Priv"), row).asInteger();
        ASSERT_TRUE(index >= 0 && index < form.ImageList1.Count()) << paths[i];
        EXPECT_NE(form.ImageList1.Entry(index), standIn) << paths[i];
        shown.insert(index);
        EXPECT_EQ(cell("Res", row), QStringLiteral("%1 X 90").arg(120 + 4 * static_cast<int>(i / 2))) << paths[i];
    }
    EXPECT_EQ(shown.size(), paths.size()) << "every row has its own thumbnail";
}
