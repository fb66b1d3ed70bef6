#include "platform/path_text.h"
#include "review/keep_one.h"
#include "review/side_by_side_view.h"
#include "review/similar_comparison.h"
#include "search/similar_search.h"
#include "review/unreadable_pictures.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

SimilarFile similarFile(const std::string &path, int similarity, std::int64_t bytes = 1000)
{
    SimilarFile file;
    file.pathText = pathToText(path);
    file.similarity = similarity;
    file.found.file.size = bytes;
    return file;
}

// Two sets as a search hands them over, best copy first.
FoundFileRecord recordOf(const SimilarSearchResult &result)
{
    FoundFileRecord record;
    record.fill(result);
    return record;
}

SimilarSearchResult twoSets()
{
    SimilarSearchResult result;
    result.sets = { { similarFile("/p/big.jpg", 100), similarFile("/p/small.jpg", 96), similarFile("/p/grey.png", 91) },
        { similarFile("/p/tree.jpg", 100), similarFile("/p/tree-q50.jpg", 97) } };
    return result;
}

} // namespace

TEST(KeepOneAfterASimilarSearch, keepsEachSetsBestCopyWhateverTheTablesOrder)
{
    auto grid = makeResultGrid(nullptr);
    // The rows in an order a sort by name leaves them: no best copy first.
    const std::vector<std::pair<std::string, int>> rows = { { "/p/grey.png", 1 }, { "/p/small.jpg", 1 },
        { "/p/big.jpg", 1 }, { "/p/tree-q50.jpg", 2 }, { "/p/tree.jpg", 2 }, { "/p/elsewhere.jpg", 3 } };
    for (const auto &[path, set] : rows) {
        const int row = grid->AppendRows(1);
        grid->CellAt(QStringLiteral("Dest"), row).setText(pathToText(path));
        grid->CellAt(QStringLiteral("Group"), row).setInteger(set);
        grid->CellAt(QStringLiteral("Del"), row).setBoolean(true);
    }
    const FoundFileRecord sets = recordOf(twoSets());
    MarkAllButTheBestCopies(*grid, sets);
    std::vector<bool> marks;
    for (int row = 0; row < grid->RowCount(); ++row) {
        marks.push_back(grid->CellAt(QStringLiteral("Del"), row).asBoolean());
    }
    // A row of no set is never marked: nothing says it has a copy.
    EXPECT_EQ(marks, (std::vector<bool> { true, true, false, true, false, false }));

    // The identical-file rule keeps the first row of each set in table order.
    MarkAllButOneInEachSet(*grid);
    EXPECT_TRUE(grid->CellAt(QStringLiteral("Del"), 2).asBoolean());
    EXPECT_FALSE(grid->CellAt(QStringLiteral("Del"), 0).asBoolean());
}

TEST(SimilarComparison, comparesARowWithItsBestCopyAndTheBestCopyWithTheSecond)
{
    const FoundFileRecord sets = recordOf(twoSets());
    const auto compared = [&](const char *path) {
        const auto place = ComparedWith(sets, pathToText(path));
        return place ? sets.member(*place).pathText : QString();
    };
    EXPECT_EQ(compared("/p/grey.png"), QStringLiteral("/p/big.jpg"));
    EXPECT_EQ(compared("/p/big.jpg"), QStringLiteral("/p/small.jpg"));
    EXPECT_EQ(compared("/p/tree.jpg"), QStringLiteral("/p/tree-q50.jpg"));
    EXPECT_EQ(compared("/p/none.jpg"), QString());
    EXPECT_FALSE(FoundFileRecord().placeOf(QStringLiteral("/p/big.jpg")));
}

TEST(SideBySidePlaces, showBothPicturesAtOneScaleInsideTheArea)
{
    // A copy at half the size is shown at half the size, beside its original.
    const QRect area(10, 20, 1000, 400);
    const SideBySidePlaces places = PlaceSideBySide(QSize(1600, 1200), QSize(800, 600), area, 12);
    EXPECT_DOUBLE_EQ(places.scale, 400.0 / 1200);
    EXPECT_EQ(places.left.size(), QSize(533, 400));
    EXPECT_EQ(places.right.size(), QSize(267, 200));
    EXPECT_EQ(places.right.left() - places.left.right() - 1, 12);
    EXPECT_TRUE(area.contains(places.left) && area.contains(places.right));

    // Wide pictures are bound by the width; the tallest decides the height.
    const SideBySidePlaces wide = PlaceSideBySide(QSize(3000, 1000), QSize(1000, 3000), area, 12);
    EXPECT_TRUE(area.contains(wide.left) && area.contains(wide.right));
    EXPECT_EQ(wide.right.height(), 400);
    EXPECT_NEAR(wide.left.width(), 3 * wide.right.width(), 1);

    // Nothing to place: no rectangles, no division by zero.
    EXPECT_FALSE(PlaceSideBySide(QSize(0, 0), QSize(0, 0), area, 12).left.isValid());
    EXPECT_FALSE(PlaceSideBySide(QSize(10, 10), QSize(10, 10), QRect(0, 0, 5, 5), 12).left.isValid());
}

TEST(SimilarComparison, loadsBothPicturesUprightWithTheirCaptions)
{
    test::TempTree tree;
    const auto write = [&](const std::string &name, int width, int height, QRgb colour) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(image.save(&buffer, name.substr(name.rfind('.') + 1).c_str()));
        return tree.writeFile(name, bytes.toStdString());
    };
    const std::string best = write("best.png", 160, 120, qRgb(200, 0, 0));
    const std::string copy = write("copy \xff.jpg", 80, 60, qRgb(0, 0, 200));
    const std::string third = write("third.bmp", 40, 30, qRgb(0, 200, 0));
    SimilarSearchResult result;
    result.sets = { { similarFile(best, 100, 3000), similarFile(copy, 93, 2048), similarFile(third, 90) } };
    const FoundFileRecord sets = recordOf(result);

    TSideBySideView view;
    ASSERT_TRUE(LoadComparison(view, sets, pathToText(copy)));
    EXPECT_EQ(QSize(view.Left.Width(), view.Left.Height()), QSize(160, 120));
    EXPECT_EQ(QSize(view.Right.Width(), view.Right.Height()), QSize(80, 60));
    EXPECT_EQ(view.leftCaption(), QStringLiteral("best.png\n160 X 120, 2.9 KB, best copy"));
    EXPECT_EQ(view.rightCaption(), QStringLiteral("copy \\xFF.jpg\n80 X 60, 2.0 KB, similarity 93%"));

    // What the view shows: the original on the left, the copy at half its
    // size on the right.
    view.resize(view.captionHeight() + 400, view.captionHeight() + 200);
    const QImage shown = view.grab().toImage();
    const int middle = (view.height() - view.captionHeight()) / 2;
    EXPECT_EQ(QColor(shown.pixel(view.width() / 4, middle)), QColor(200, 0, 0));
    EXPECT_NEAR(qBlue(shown.pixel(view.width() * 3 / 4 - 20, middle)), 200, 8);

    // The best copy itself is compared with the set's second picture.
    ASSERT_TRUE(LoadComparison(view, sets, pathToText(best)));
    EXPECT_EQ(view.Right.Width(), 80);
    ASSERT_TRUE(LoadComparison(view, sets, pathToText(third)));
    EXPECT_EQ(view.Left.Width(), 160);
    EXPECT_EQ(view.Right.Width(), 40);

    // A path of no set loads nothing; a vanished file raises its error.
    EXPECT_FALSE(LoadComparison(view, sets, QStringLiteral("/elsewhere.jpg")));
    std::remove(best.c_str());
    EXPECT_ANY_THROW(LoadComparison(view, sets, pathToText(copy)));
}

TEST(UnreadablePicturesNotice, countsAndNamesTheFilesAsAPersonReadsThem)
{
    EXPECT_TRUE(UnreadablePicturesNotice({}).line.isEmpty());
    EXPECT_TRUE(UnreadablePicturesNotice({}).toolTip.isEmpty());

    const UnreadableNotice one = UnreadablePicturesNotice({ "/p/broken.jpg" });
    EXPECT_EQ(one.line, QStringLiteral("1 could not be read as a picture: broken.jpg"));
    EXPECT_EQ(one.toolTip, QStringLiteral("Not read as pictures, left out of the search:\n/p/broken.jpg"));

    const std::vector<std::string> many = { "/p/a.jpg", "/p/\xff.png", "/q/c.gif", "/q/d.jpg" };
    const UnreadableNotice four = UnreadablePicturesNotice(many);
    // The line keeps cell text (the label shows bytes as \xHH); the tool tip
    // is already what a person reads.
    EXPECT_EQ(four.line,
        QStringLiteral("4 could not be read as pictures: a.jpg, ") + pathToText("\xff.png")
            + QStringLiteral(", c.gif, ..."));
    EXPECT_EQ(four.toolTip.split(QLatin1Char('\n')),
        (QStringList { QStringLiteral("Not read as pictures, left out of the search:"), QStringLiteral("/p/a.jpg"),
            QStringLiteral("/p/\\xFF.png"), QStringLiteral("/q/c.gif"), QStringLiteral("/q/d.jpg") }));

    std::vector<std::string> thousands(5000, "/p/x.jpg");
    const QStringList lines = UnreadablePicturesNotice(thousands).toolTip.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.size(), 202);
    EXPECT_EQ(lines.back(), QStringLiteral("and 4800 more"));
}
