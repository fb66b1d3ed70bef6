// What only TIFF files have: reduced-resolution pages, an orientation tag
// of their own, random access to strips, and libtiff's own messages.
#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/tiff_codec.h"
#include "support/pictures.h"
#include "support/temp_tree.h"
#include "support/tiff_fixtures.h"

#include <QImage>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const PictureFormat &tiff()
{
    return *PictureFormatForMask(QStringLiteral("*.tif"));
}

// Every page one flat colour: red for the first, then green, blue, grey.
const QRgb kPageColours[4] = {qRgb(220, 0, 0), qRgb(0, 220, 0), qRgb(0, 0, 220), qRgb(90, 90, 90)};
const TiffSample flatPages = [](int page, int, int, int c) {
    const QRgb colour = kPageColours[page % 4];
    return unsigned(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
};

TiffPage sized(int width, int height, bool reduced = false)
{
    TiffPage page;
    page.width = width;
    page.height = height;
    page.reduced = reduced;
    page.compression = 5;
    return page;
}

TiffBytes inMemory(const std::string &file)
{
    TiffBytes bytes;
    bytes.data = quillmere::test::bytes(file);
    bytes.size = file.size();
    return bytes;
}

QImage thumbnailOf(const std::string &file, TiffCost *cost = nullptr)
{
    QImage image(100, 75, QImage::Format_RGB32);
    image.fill(Qt::white);
    stretchTiff(inMemory(file), image, image.rect(), cost);
    return image;
}

} // namespace

TEST(TiffReducedPages, smallDecodeTakesTheSmallestReducedPageThatCoversTheAskedSize)
{
    TempTree tree;
    // Pages: full 800 x 600 (red), reduced 200 x 150 (green) and 100 x 75
    // (blue) after it, and an unmarked 50 x 40 page (grey) that is no
    // reduction of it.
    const std::string pages = tree.writeFile(
        "pages.tif", encodeTiff({sized(800, 600), sized(200, 150, true), sized(100, 75, true), sized(50, 40)}, flatPages));
    // The same reductions as SubIFDs of the first page.
    const std::string subs = tree.writeFile(
        "subs.tif", encodeTiff({sized(800, 600)}, flatPages, false, false, {sized(200, 150, true), sized(100, 75, true)}));
    for (const std::string &path : {pages, subs}) {
        const TBitmap tiny = tiff().smallDecode(path, QSize(40, 30));
        EXPECT_EQ(QSize(tiny.Width(), tiny.Height()), QSize(50, 38)) << path; // the 100 x 75 page halved
        EXPECT_EQ(tiny.ToDisplayImage().pixel(10, 10), kPageColours[2]) << path;
        const TBitmap middle = tiff().smallDecode(path, QSize(150, 100));
        EXPECT_EQ(QSize(middle.Width(), middle.Height()), QSize(200, 150)) << path;
        EXPECT_EQ(middle.ToDisplayImage().pixel(10, 10), kPageColours[1]) << path;
        // No reduced page covers 300 x 200: the first page, halved once.
        const TBitmap large = tiff().smallDecode(path, QSize(300, 200));
        EXPECT_EQ(QSize(large.Width(), large.Height()), QSize(400, 300)) << path;
        EXPECT_EQ(large.ToDisplayImage().pixel(10, 10), kPageColours[0]) << path;
        // The row thumbnail always shows the first page.
        const FormatThumbnail row = tiff().rowThumbnail(path);
        EXPECT_EQ(row.size, QSize(800, 600)) << path;
        EXPECT_EQ(row.thumbnail.ToDisplayImage().pixel(50, 37), kPageColours[0]) << path;
    }
}

TEST(TiffOrientation, comesFromTheTagAndThePixelsStayAsStored)
{
    TempTree tree;
    // Stored: the left half red, the right half blue.
    const TiffSample halves = [](int, int x, int, int c) {
        return unsigned(x < 20 ? (c == 0 ? 220 : 0) : (c == 2 ? 220 : 0));
    };
    TiffPage page = sized(40, 30);
    for (const int orientation : {2, 3, 6, 8}) {
        page.orientation = orientation;
        const std::string path = tree.writeFile("o" + std::to_string(orientation) + ".tif", encodeTiff({page}, halves));
        EXPECT_EQ(tiff().orientation(path), orientation);
        const QImage shown = tiff().rowThumbnail(path).thumbnail.ToDisplayImage();
        EXPECT_EQ(shown.pixel(10, 10), qRgb(220, 0, 0)) << orientation;
        EXPECT_EQ(shown.pixel(90, 10), qRgb(0, 0, 220)) << orientation;
        const QImage decoded = tiff().smallDecode(path, QSize(40, 30)).ToDisplayImage();
        EXPECT_EQ(decoded.pixel(2, 2), qRgb(220, 0, 0)) << orientation;
    }
    page.orientation = 0;
    std::string untagged = encodeTiff({page}, halves);
    EXPECT_EQ(tiff().orientation(tree.writeFile("none.tif", untagged)), 1);
    // A value out of range reads as upright: the tag patched to 9 after
    // libtiff wrote it (it refuses to write one).
    page.orientation = 5;
    std::string odd = encodeTiff({page}, halves);
    const std::size_t directory = std::uint8_t(odd[4]) | std::uint8_t(odd[5]) << 8 | std::uint8_t(odd[6]) << 16;
    const unsigned entries = std::uint8_t(odd[directory]);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        if (std::uint8_t(odd[entry]) == 0x12 && std::uint8_t(odd[entry + 1]) == 0x01) {
            odd[entry + 8] = 9;
        }
    }
    const std::string oddPath = tree.writeFile("odd.tif", odd);
    EXPECT_EQ(tiff().orientation(oddPath), 1);
    EXPECT_TRUE(tiff().rowThumbnail(oddPath).ownPicture);
    EXPECT_EQ(tiff().orientation(tree.path("gone.tif")), 1);
}

TEST(TiffStreaming, theThumbnailReadsOnlyTheStripsOfTheRowsItTakes)
{
    // 3000 rows in strips of 8: the thumbnail's 75 rows lie in 75 of the
    // 375 strips, each decoded up to its row only.
    TiffPage tall = sized(64, 3000);
    tall.rowsPerStrip = 8;
    const TiffSample rows = [](int, int, int y, int c) { return unsigned(c == 0 ? y % 256 : 0); };
    TiffCost cost;
    const QImage shown = thumbnailOf(encodeTiff({tall}, rows), &cost);
    EXPECT_EQ(cost.blocksRead, 75u);
    EXPECT_EQ(cost.rowsConverted, 75u);
    EXPECT_EQ(shown.pixel(0, 1), qRgb(60, 0, 0)); // thumbnail row 1 takes row 60
    // One strip of all 3000 rows is read row by row, never held whole.
    tall.rowsPerStrip = 3000;
    TiffCost single;
    EXPECT_EQ(thumbnailOf(encodeTiff({tall}, rows), &single), shown);
    EXPECT_EQ(single.blocksRead, 1u);
    EXPECT_EQ(single.rowsConverted, 75u);
    // Tiles: only the tile rows holding a taken row, each turned into
    // colours whole.
    TiffPage tiled = sized(64, 3000);
    tiled.tileSize = 16;
    TiffCost tiles;
    EXPECT_EQ(thumbnailOf(encodeTiff({tiled}, rows), &tiles), shown);
    EXPECT_EQ(tiles.rowsConverted, 75u * 16);
    EXPECT_EQ(tiles.blocksRead, 75u * 4); // 75 of 188 tile rows, 4 tiles each
}

TEST(TiffStreaming, aFileCutInItsPixelsShowsWhatItHoldsAndEndsQuietly)
{
    // 60 x 40 in strips of 4 rows of 720 bytes after a 254-byte head: cut
    // after the fourth strip, rows 0 to 15 are there and the rest is not.
    const std::string whole = plainTiffDirectoryFirst(60, 40, 4);
    const std::string cut = whole.substr(0, whole.size() - 6 * 720);
    const QImage full = thumbnailOf(whole);
    QImage shown;
    EXPECT_NO_THROW(shown = thumbnailOf(cut));
    EXPECT_EQ(shown.pixel(50, 5), full.pixel(50, 5));  // row 2 of the picture
    EXPECT_EQ(shown.pixel(50, 70), qRgb(255, 255, 255)); // row 37: never drawn
    EXPECT_NE(full.pixel(50, 70), qRgb(255, 255, 255));
}

TEST(TiffStreaming, aCancelledDecodeEndsWithAnError)
{
    const std::string file = encodeTiff({sized(64, 300)}, flatPages);
    const std::atomic<bool> cancelled{true};
    const DecodeCancelScope scope(cancelled);
    EXPECT_THROW(thumbnailOf(file), ETIFF);
}

TEST(TiffMessages, libtiffPrintsNothingForABrokenFile)
{
    // libtiff's default handlers write its errors and warnings to stderr.
    std::string broken = encodeTiff({sized(64, 64)}, flatPages);
    broken = broken.substr(0, 40) + std::string(200, '\x7f') + broken.substr(240);
    std::fflush(stderr);
    char path[] = "/tmp/tiff-stderr-XXXXXX";
    const int capture = mkstemp(path);
    ASSERT_GE(capture, 0);
    const int saved = dup(2);
    dup2(capture, 2);
    for (const std::string &file : {broken, broken.substr(0, 30), std::string("II*\0\xff\xff\xff\x7f", 8)}) {
        EXPECT_ANY_THROW(thumbnailOf(file));
    }
    EXPECT_ANY_THROW(readTiffHeader(inMemory(std::string("MM\0*\0\0\0\x08\0\x01\0\0", 12))));
    std::fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    EXPECT_EQ(TempTree::readFile(path), "");
    ::close(capture);
    ::unlink(path);
}
