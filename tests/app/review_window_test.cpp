#include "common/error_report.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "platform/path_text.h"
#include "review/image_view_window.h"
#include "support/exif_writer.h"
#include "support/picture_samples.h"
#include "table/program_tables.h"
#include "window_fixture.h"

#include <QAction>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStringList>

using namespace quillmere;

namespace {

class ReviewWindow : public test::WindowFixture {
protected:
    // Result rows as a search leaves them, for the given files.
    void addRows(const std::vector<std::string> &paths)
    {
        for (const std::string &path : paths) {
            const int row = form.DataGrid1->AppendRows(1);
            form.DataGrid1->CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        }
    }

    // From now on each opened image view records its size and what its
    // picture shows, in the image returned.
    const QImage &captureShownPictures()
    {
        form2.ShowModal = [this](TForm2 &view) {
            shownSizes.push_back(view.outerSize());
            view.show();
            seenPicture = view.Image1->grab().toImage();
            view.hide();
        };
        return seenPicture;
    }

    QImage seenPicture;
};

} // namespace

TEST_F(ReviewWindow, markingButtonsWriteEveryRowsFlag)
{
    form.BitBtn_2Click();
    form.BitBtn_1Click();
    form.BitBtn_3Click();
    EXPECT_EQ(form.DataGrid1->RowCount(), 0);

    addRows({"/a.jpg", "/b.jpg", "/c.jpg"});
    form.DataGrid1->CellAt(QStringLiteral("Del"), 1).setBoolean(true);
    form.BitBtn_1Click();
    EXPECT_EQ(marks(), (std::vector<bool>{true, false, true}));
    form.BitBtn_1Click();
    EXPECT_EQ(marks(), (std::vector<bool>{false, true, false}));
    QTest::mouseClick(form.BitBtn_2, Qt::LeftButton);
    EXPECT_EQ(marks(), (std::vector<bool>{true, true, true}));
    QTest::mouseClick(form.BitBtn_3, Qt::LeftButton);
    EXPECT_EQ(marks(), (std::vector<bool>{false, false, false}));
}

TEST_F(ReviewWindow, aThumbnailClickOpensThePictureSizedToItsProportions)
{
    const std::string wide = writePicture("wide.jpg", 160, 120, "JPG");
    const std::string tall = writePicture("tall.JPEG", 120, 160, "JPG");
    const std::string flat = writePicture("flat.bmp", 300, 200, "BMP");
    const std::string square = writePicture("square.jpg", 90, 90, "JPG");
    const std::string png = writePicture("shot.png", 160, 120, "PNG");
    const std::string tiny = writePicture("tiny.jpg", 2, 3, "JPG");
    addRows({wide, tall, flat, square, png, tiny, tree.path("gone.jpg")});
    form.PageControl1->setCurrentIndex(1);

    for (int row = 0; row < 7; ++row) {
        clickCell(colPriv, row);
        EXPECT_EQ(form.DataGrid1->SelectedRowIndex(), row);
    }
    // The view keeps the proportions; the shorter side is rounded (337.5 gives 338).
    EXPECT_EQ(shownSizes, (std::vector<QSize>{QSize(700, 525), QSize(338, 450), QSize(700, 467), QSize(700, 450),
                                              QSize(700, 525), QSize(300, 450)}));
    // The vanished file opened nothing; the view is back at 700 x 450.
    EXPECT_EQ(form2.outerSize(), QSize(700, 450));
    EXPECT_EQ(form2.windowTitle(), QStringLiteral("Image View"));

    // A click outside the thumbnail column only resets the size.
    form2.setOuterSize(500, 379);
    clickCell(colDest, 0);
    EXPECT_EQ(form2.outerSize(), QSize(700, 450));
    EXPECT_EQ(shownSizes.size(), 6u);
}

TEST_F(ReviewWindow, aPngThumbnailClickShowsThePicture)
{
    // Left half red, right half half-transparent blue: laid over white.
    QImage picture(400, 100, QImage::Format_ARGB32);
    for (int x = 0; x < 400; ++x) {
        for (int y = 0; y < 100; ++y) {
            picture.setPixel(x, y, x < 200 ? qRgba(200, 0, 0, 255) : qRgba(0, 0, 255, 128));
        }
    }
    const std::string path = tree.path("Wide Shot.PNG");
    ASSERT_TRUE(picture.save(QString::fromStdString(path), "PNG"));
    addRows({path});
    form.PageControl1->setCurrentIndex(1);
    const QImage &seen = captureShownPictures();
    clickCell(colPriv, 0);
    EXPECT_EQ(shownSizes, (std::vector<QSize>{QSize(700, 175)}));
    ASSERT_FALSE(seen.isNull());
    const int y = seen.height() / 2;
    EXPECT_EQ(seen.pixel(seen.width() / 4, y), qRgb(200, 0, 0));
    const QRgb blue = seen.pixel(seen.width() * 3 / 4, y);
    EXPECT_NEAR(qRed(blue), 127, 1);
    EXPECT_NEAR(qBlue(blue), 255, 1);
}

TEST_F(ReviewWindow, shellActionsActOnTheSelectedRow)
{
    addRows({"/photos/a b.jpg", "/root.jpg", std::string("/x/\xff.jpg")});
    form.PageControl1->setCurrentIndex(1);

    clickCell(colSize, 1, Qt::RightButton); // a right press selects the row under it
    EXPECT_EQ(form.DataGrid1->SelectedRowIndex(), 1);
    form.Opencontainfolder1->trigger();
    form.Execute1->trigger();
    form.Properties1->trigger();

    form.DataGrid1->SelectCell(colDest, 0);
    form.Opencontainfolder1->trigger();
    QTest::mouseDClick(form.DataGrid1View->viewport(), Qt::LeftButton, Qt::NoModifier,
                       form.DataGrid1View->layout().cellRect(colDate, 2).center());
    using Request = RecordingShell::Request;
    const std::vector<RecordingShell::Call> expected{
        {Request::Open, QStringLiteral("file:///")},
        {Request::Open, QStringLiteral("file:///root.jpg")},
        {Request::Properties, QStringLiteral("file:///root.jpg")},
        {Request::Open, QStringLiteral("file:///photos")},
        {Request::Open, QStringLiteral("file:///x/%FF.jpg")},
    };
    EXPECT_EQ(shell.calls, expected);
}

TEST_F(ReviewWindow, shellActionsOnAnEmptyTableReportTheIndexError)
{
    QStringList shown;
    const ErrorPresenter previous = setErrorPresenter([&](const QString &text) { shown << text; });
    form.Execute1->trigger();
    form.Opencontainfolder1->trigger();
    form.Properties1->trigger();
    setErrorPresenter(previous);
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(shown, QStringList(3, QStringLiteral("List index out of bounds (-1)")));
}

TEST_F(ReviewWindow, aPictureStoredOnItsSideOpensInAnUprightWindow)
{
    const std::string stored = test::samples().at(QStringLiteral("JPEG")).write(160, 120);
    const std::string side = tree.writeFile("side.jpg", test::jpegWithExif(stored, test::exifBlockWithOrientation(6)));
    const std::string plain = tree.writeFile("plain.jpg", stored);
    addRows({side, plain});
    form.PageControl1->setCurrentIndex(1);
    clickCell(colPriv, 0);
    clickCell(colPriv, 1);
    EXPECT_EQ(shownSizes, (std::vector<QSize>{QSize(338, 450), QSize(700, 525)}));
    EXPECT_EQ(form2.Image1->Picture.Width(), 160);
}

TEST_F(ReviewWindow, aThumbnailClickShowsThePictureOfEveryFormat)
{
    std::vector<std::string> paths;
    for (const PictureFormat *format : PictureFormats()) {
        paths.push_back(tree.writeFile("view-" + format->name().toStdString() + "." + format->extensions().front(),
                                       test::sampleOf(*format).write(160, 120)));
    }
    addRows(paths);
    form.PageControl1->setCurrentIndex(1);
    const QImage &seen = captureShownPictures();
    for (std::size_t row = 0; row < paths.size(); ++row) {
        seenPicture = QImage();
        shownSizes.clear();
        clickCell(colPriv, static_cast<int>(row));
        EXPECT_EQ(shownSizes, (std::vector<QSize>{QSize(700, 525)})) << paths[row];
        ASSERT_FALSE(seen.isNull()) << paths[row];
        // Each quadrant's colour, within what a lossy format may change.
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const int x = seen.width() * (quadrant % 2 == 0 ? 1 : 3) / 4;
            const int y = seen.height() * (quadrant < 2 ? 1 : 3) / 4;
            const QRgb want = test::quadrant(quadrant % 2, quadrant / 2, 2, 2);
            const QRgb got = seen.pixel(x, y);
            EXPECT_NEAR(qRed(got), qRed(want), 24) << paths[row] << " quadrant " << quadrant;
            EXPECT_NEAR(qGreen(got), qGreen(want), 24) << paths[row] << " quadrant " << quadrant;
            EXPECT_NEAR(qBlue(got), qBlue(want), 24) << paths[row] << " quadrant " << quadrant;
        }
    }
}
