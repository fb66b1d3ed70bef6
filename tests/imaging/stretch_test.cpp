#include "imaging/bitmap.h"
#include "imaging/stretch.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

// An 8-bit or 1-bit picture: white with black at column 3 and row 17.
TBitmap linedPicture(int bitsPerPixel)
{
    QImage image(20, 20, bitsPerPixel == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    image.setColorCount(2);
    image.fill(1);
    for (int i = 0; i < 20; ++i) {
        image.setPixel(3, i, 0);
        image.setPixel(i, 17, 0);
    }
    TBitmap bitmap;
    bitmap.SetPixels(image, bitsPerPixel, {qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return bitmap;
}

QImage whiteTarget(int width, int height)
{
    QImage target(width, height, QImage::Format_RGB32);
    target.fill(Qt::white);
    return target;
}

} // namespace

TEST(Stretch, sizedBitmapsAreWhiteInTheDisplayFormatAndKeepTheirContent)
{
    TBitmap bitmap;
    bitmap.SetWidth(100);
    EXPECT_TRUE(bitmap.Image().isNull());
    bitmap.SetHeight(75);
    EXPECT_EQ(bitmap.BitsPerPixel(), 32);
    EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
    EXPECT_EQ(bitmap.Image().pixel(99, 74), qRgb(255, 255, 255));
    bitmap.Canvas().setPixel(1, 1, qRgb(1, 2, 3));
    bitmap.SetSize(120, 2);
    EXPECT_EQ(bitmap.Image().pixel(1, 1), qRgb(1, 2, 3));
    EXPECT_EQ(bitmap.Image().pixel(110, 1), qRgb(255, 255, 255));
}

TEST(Stretch, nearestNeighbourTakesWholeSourcePixelsWithoutAveraging)
{
    QImage source(4, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            source.setPixel(x, y, qRgb(x * 60, y * 200, 7));
        }
    }
    // Enlarging repeats every pixel into a 3 x 3 block.
    QImage large = whiteTarget(12, 6);
    stretchPixels(source, 32, large, large.rect());
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) {
            ASSERT_EQ(large.pixel(x, y), source.pixel(x / 3, y / 3));
        }
    }
    // Reducing takes the pixel under each target pixel's centre.
    QImage small = whiteTarget(2, 1);
    stretchPixels(source, 32, small, small.rect());
    EXPECT_EQ(small.pixel(0, 0), source.pixel(1, 1));
    EXPECT_EQ(small.pixel(1, 0), source.pixel(3, 1));
    EXPECT_EQ(nearestSourceIndex(99, 100, 3000), 2985);
}

TEST(Stretch, oneBitPicturesCombineMergedPixelsSoBlackWins)
{
    QImage fromOneBit = whiteTarget(2, 2);
    linedPicture(1).StretchDraw(fromOneBit, fromOneBit.rect());
    EXPECT_EQ(fromOneBit.pixel(0, 0), qRgb(0, 0, 0)); // column 3 survives
    EXPECT_EQ(fromOneBit.pixel(1, 1), qRgb(0, 0, 0)); // row 17 survives
    EXPECT_EQ(fromOneBit.pixel(1, 0), qRgb(255, 255, 255));

    // The same picture at 8 bits is sampled: the thin lines fall between.
    QImage fromEightBit = whiteTarget(2, 2);
    linedPicture(8).StretchDraw(fromEightBit, fromEightBit.rect());
    EXPECT_EQ(fromEightBit.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(Stretch, drawingIsClippedToTheTargetAndGoesThroughThePalette)
{
    TBitmap lined = linedPicture(8);
    QImage target = whiteTarget(10, 10);
    // Two target pixels per source pixel, starting outside: source column 3
    // lands on target columns 2 and 3.
    lined.StretchDraw(target, QRect(-4, -4, 40, 40));
    EXPECT_EQ(target.pixel(2, 5), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(3, 9), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(4, 5), qRgb(255, 255, 255));
    lined.StretchDraw(target, QRect(500, 500, 10, 10)); // wholly outside: nothing, no fault
    TBitmap().StretchDraw(target, target.rect());       // 0 x 0 draws nothing

    QImage surface = whiteTarget(30, 30);
    QPainter painter(&surface);
    lined.Draw(painter, QRect(5, 5, 20, 20));
    painter.end();
    EXPECT_EQ(surface.pixel(5 + 3, 10), qRgb(0, 0, 0));
    EXPECT_EQ(surface.pixel(4, 4), qRgb(255, 255, 255));
}
