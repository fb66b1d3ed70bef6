#include "imaging/bitmap.h"
#include "imaging/bmp_reader.h"
#include "imaging/byte_source.h"
#include "imaging/picture_limits.h"
#include "support/picture_fixtures.h"
#include "platform/errors.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

DecodedBitmap read(const std::string &bytes)
{
    MemorySource source(bytes.data(), bytes.size());
    return readBmp(source);
}

// The picture in display colours, as a bitmap would draw it.
QImage display(const std::string &bytes)
{
    TBitmap bitmap;
    MemorySource source(bytes.data(), bytes.size());
    bitmap.LoadFromStream(source);
    return bitmap.ToDisplayImage();
}

std::string errorOf(const std::string &bytes)
{
    try {
        read(bytes);
    } catch (const EInvalidGraphic &e) {
        return std::string("EInvalidGraphic: ") + e.what();
    } catch (const EReadError &e) {
        return std::string("EReadError: ") + e.what();
    }
    return "no error";
}

const std::string kNotValid = "EInvalidGraphic: Bitmap image is not valid";
const std::string kReadError = "EReadError: Stream read error";

// A 5 x 3 picture whose every pixel differs, so that flips and shifts show.
QRgb sample(int x, int y)
{
    return qRgb(40 * x + 10, 60 * y + 20, 7 * (x + y));
}

std::vector<QRgb> greyRamp(int n)
{
    std::vector<QRgb> table;
    for (int i = 0; i < n; ++i) {
        table.push_back(qRgb(i, 255 - i, (i * 7) & 255));
    }
    return table;
}

void expectPicture(const QImage &image, int width, int height, const std::function<QRgb(int, int)> &expected)
{
    ASSERT_EQ(image.width(), width);
    ASSERT_EQ(image.height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(image.pixel(x, y) | 0xFF000000u, expected(x, y) | 0xFF000000u) << x << "," << y;
        }
    }
}

BmpSpec trueColour(int width, int height, bool topDown = false)
{
    BmpSpec s;
    s.width = width;
    s.height = topDown ? -height : height;
    s.pixels = packRows(width, height, 24, [](int x, int y) { return sample(x, y); }, topDown);
    return s;
}

} // namespace

TEST(BmpReader, everyHeaderFormAndDepthGivesTheSamePicture)
{
    expectPicture(display(buildBmp(trueColour(5, 3))), 5, 3, sample);
    expectPicture(display(buildBmp(trueColour(5, 3, true))), 5, 3, sample);
    for (const std::uint32_t size : {52u, 56u, 108u, 124u}) {
        BmpSpec longer = trueColour(5, 3);
        longer.headerSize = size;
        expectPicture(display(buildBmp(longer)), 5, 3, sample);
    }
    // 32-bit without masks: blue, green, red, pad.
    BmpSpec wide = trueColour(5, 3);
    wide.bitsPerPixel = 32;
    wide.pixels = packRows(5, 3, 32, [](int x, int y) { return sample(x, y) & 0xFFFFFF; });
    expectPicture(display(buildBmp(wide)), 5, 3, sample);
    EXPECT_EQ(read(buildBmp(wide)).bitsPerPixel, 32);
}

TEST(BmpReader, indexedPicturesUseTheirColourTable)
{
    const auto index = [](int x, int y) { return static_cast<std::uint32_t>((x * 3 + y * 5) % 16); };
    const std::vector<QRgb> table = greyRamp(256);
    for (const int depth : {1, 4, 8}) {
        BmpSpec s;
        s.width = 13; // odd, and not a multiple of 8: row padding and half bytes
        s.height = 3;
        s.bitsPerPixel = static_cast<std::uint16_t>(depth);
        s.colours.assign(table.begin(), table.begin() + (1 << depth));
        const auto value = [&](int x, int y) { return index(x, y) % (1u << depth); };
        s.pixels = packRows(13, 3, depth, value);
        const DecodedBitmap decoded = read(buildBmp(s));
        EXPECT_EQ(decoded.bitsPerPixel, depth);
        EXPECT_EQ(decoded.palette.size(), 1 << depth);
        expectPicture(display(buildBmp(s)), 13, 3, [&](int x, int y) { return table[value(x, y)]; });
    }

    // A core-header file with 3-byte entries shows the same as its twin.
    BmpSpec info;
    info.width = 6;
    info.height = 4;
    info.bitsPerPixel = 8;
    info.colours = table;
    info.pixels = packRows(6, 4, 8, index);
    BmpSpec core = info;
    core.headerSize = 12;
    EXPECT_EQ(display(buildBmp(core)), display(buildBmp(info)));

    // A short table: indices beyond it are black, not garbage.
    info.colourCount = 2;
    info.colours.resize(2);
    EXPECT_EQ(display(buildBmp(info)).pixel(1, 0), qRgb(0, 0, 0)); // index 3
    EXPECT_EQ(read(buildBmp(info)).palette.size(), 2);
}

TEST(BmpReader, bitFieldMasksComeAfterTheShortHeaderOrInsideLongerOnes)
{
    // 16-bit 5-6-5 with the masks after a 40-byte header.
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bitsPerPixel = 16;
    s.compression = 3;
    s.masksAfterHeader = le32(0xF800) + le32(0x07E0) + le32(0x001F);
    s.pixels = packRows(3, 2, 16, [](int x, int y) { return x == 0 ? 0xF800u : x == 1 ? 0x07E0u : (y ? 0x001Fu : 0u); });
    expectPicture(display(buildBmp(s)), 3, 2, [](int x, int y) {
        return x == 0 ? qRgb(255, 0, 0) : x == 1 ? qRgb(0, 255, 0) : (y ? qRgb(0, 0, 255) : qRgb(0, 0, 0));
    });
    // 16-bit without masks is 5-5-5.
    s.compression = 0;
    s.masksAfterHeader.clear();
    s.pixels = packRows(3, 2, 16, [](int, int) { return 0x7C00u; });
    EXPECT_EQ(display(buildBmp(s)).pixel(0, 0), qRgb(255, 0, 0));

    // 32-bit with unusual masks inside a 108-byte header.
    BmpSpec v4;
    v4.headerSize = 108;
    v4.width = 2;
    v4.height = 1;
    v4.bitsPerPixel = 32;
    v4.compression = 3;
    v4.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    v4.pixels = packRows(2, 1, 32, [](int x, int) { return x ? 0x00112233u : 0x000000FFu; });
    expectPicture(display(buildBmp(v4)), 2, 1, [](int x, int) { return x ? qRgb(0x33, 0x22, 0x11) : qRgb(255, 0, 0); });
}

TEST(BmpReader, pixelDataIsClampedAndFollowsTheColourTableWhateverTheOffsetSays)
{
    // Half of the announced rows: the rest stays black, no error.
    BmpSpec s = trueColour(5, 4);
    s.imageSize = 4 * 16;
    s.pixels = packRows(5, 4, 24, [](int x, int y) { return sample(x, y); }).substr(0, 2 * 16 + 6);
    expectPicture(display(buildBmp(s)), 5, 4, [](int x, int y) {
        // File rows are bottom-up: rows 3 and 2 complete, row 1 has two pixels.
        return (y >= 2 || (y == 1 && x < 2)) ? sample(x, y) : qRgb(0, 0, 0);
    });
    // An image size smaller than the rows limits what is read.
    s = trueColour(5, 2);
    s.imageSize = 16;
    expectPicture(display(buildBmp(s)), 5, 2, [](int x, int y) { return y == 1 ? sample(x, y) : qRgb(0, 0, 0); });

    // A gap announced by the offset is read as pixels: everything shifts.
    s = trueColour(5, 2);
    s.gap = "\x01\x02\x03";
    const QImage shifted = display(buildBmp(s));
    EXPECT_EQ(shifted.pixel(0, 1), qRgb(3, 2, 1));
    EXPECT_EQ(shifted.pixel(1, 1), sample(0, 1));
}

TEST(BmpReader, runLengthDataExpandsByThePublishedRules)
{
    BmpSpec s;
    s.width = 6;
    s.height = 3;
    s.bitsPerPixel = 8;
    s.compression = 1;
    s.colourCount = 8;
    s.colours = greyRamp(8);
    // Bottom row: run of 3 x index 1, absolute 3 pixels 2,3,4 (+pad), run
    // of 9 x index 5 clipped at the edge. Then end of line, delta (2, 1)
    // to the top row, a run of 2 x index 6, end of bitmap, then junk.
    s.pixels = std::string("\x03\x01"
                           "\x00\x03\x02\x03\x04\x00"
                           "\x09\x05"
                           "\x00\x00"
                           "\x00\x02\x02\x01"
                           "\x02\x06"
                           "\x00\x01"
                           "\x05\x07",
                           22);
    s.imageSize = 22; // compressed data is as long as the header says
    const DecodedBitmap decoded = read(buildBmp(s));
    EXPECT_EQ(decoded.bitsPerPixel, 32);
    EXPECT_EQ(decoded.image.format(), QImage::Format_RGB32);
    const auto c = [&](int i) { return s.colours[static_cast<std::size_t>(i)]; };
    const QRgb black = qRgb(0, 0, 0);
    expectPicture(decoded.image, 6, 3, [&](int x, int y) {
        if (y == 2) {
            return x < 3 ? c(1) : c(x - 1);
        }
        return (y == 0 && (x == 2 || x == 3)) ? c(6) : black;
    });

    // RLE4: runs alternate two indices, absolute pixels come in nibbles.
    s.bitsPerPixel = 4;
    s.compression = 2;
    s.height = 1;
    s.pixels = std::string("\x05\x12\x00\x03\x34\x50\x00\x01", 8);
    s.imageSize = 8;
    expectPicture(read(buildBmp(s)).image, 6, 1, [&](int x, int) {
        const int runs[] = {1, 2, 1, 2, 1, 3};
        return c(runs[x]);
    });

    // Codes that leave the picture stop drawing without harm.
    s.pixels = std::string("\x00\x02\xFF\xFF\xFF\x07\x00\xFE", 8) + std::string(300, '\x11');
    s.imageSize = 308;
    EXPECT_EQ(read(buildBmp(s)).image.pixel(0, 0), black);
}

TEST(BmpReader, damagedFilesRaiseTheirDesignedErrors)
{
    EXPECT_TRUE(read("").image.isNull()); // empty: 0 x 0, no error
    EXPECT_EQ(errorOf("BM\x01"), kReadError);
    EXPECT_EQ(errorOf("PK" + std::string(60, '\0')), kNotValid);
    const std::string good = buildBmp(trueColour(5, 3));
    EXPECT_EQ(errorOf(good.substr(0, 30)), kReadError); // inside the info header

    BmpSpec s = trueColour(5, 3);
    s.planes = 2;
    EXPECT_EQ(errorOf(buildBmp(s)), kNotValid);

    BmpSpec masked = trueColour(2, 2);
    masked.bitsPerPixel = 16;
    masked.compression = 3;
    EXPECT_EQ(errorOf(buildBmp(masked).substr(0, 14 + 40 + 6)), kReadError); // inside the masks

    BmpSpec indexed = trueColour(2, 2);
    indexed.bitsPerPixel = 8;
    indexed.colours = greyRamp(256);
    EXPECT_EQ(errorOf(buildBmp(indexed).substr(0, 14 + 40 + 1000)), kReadError); // inside the table
    indexed.colourCount = 0xFFFFFFFF; // a table longer than any file
    EXPECT_EQ(errorOf(buildBmp(indexed)), kReadError);
    BmpSpec huge = trueColour(2, 2);
    huge.headerSize = 0xFFFFFFF0;
    huge.pixels.clear();
    EXPECT_EQ(errorOf(buildBmp(huge)), kReadError);

    // Shapes no picture can have.
    const std::vector<std::function<void(BmpSpec &)>> broken = {
        [](BmpSpec &b) { b.width = 0; },
        [](BmpSpec &b) { b.height = 0; },
        [](BmpSpec &b) { b.width = -5; },
        [](BmpSpec &b) { b.bitsPerPixel = 7; },
        [](BmpSpec &b) { b.compression = 4; },      // embedded JPEG
        [](BmpSpec &b) { b.compression = 3; },      // masks with 24 bits
        [](BmpSpec &b) { b.compression = 1; },      // RLE8 with 24 bits
        [](BmpSpec &b) { b.bitsPerPixel = 8, b.compression = 1, b.height = -3, b.colourCount = 1; }, // top-down RLE
    };
    for (const auto &breakIt : broken) {
        BmpSpec b = trueColour(5, 3);
        breakIt(b);
        EXPECT_EQ(errorOf(buildBmp(b)), kNotValid);
    }
}

TEST(BmpReader, hostileSizesAreRefusedBeforeAnythingIsAllocated)
{
    BmpSpec s;
    s.width = 65535;
    s.height = 65535;
    // A 20-byte file claiming a big picture ends inside its header.
    EXPECT_EQ(errorOf(buildBmp(s).substr(0, 20)), kReadError);
    // Complete headers claiming more pixels than the cap.
    BmpSpec core = s;
    core.headerSize = 12;
    core.pixels = "xyz";
    EXPECT_EQ(errorOf(buildBmp(core)), kNotValid);
    s.width = 16385;
    s.height = 16384;
    EXPECT_EQ(errorOf(buildBmp(s)), kNotValid);
    s.width = 0x7FFFFFFF;
    s.height = -0x7FFFFFFF - 1;
    EXPECT_EQ(errorOf(buildBmp(s)), kNotValid);

    // The cap's edge, checked with a small cap.
    setMaxPicturePixels(15);
    EXPECT_EQ(errorOf(buildBmp(trueColour(5, 3))), "no error");
    EXPECT_EQ(errorOf(buildBmp(trueColour(4, 4))), kNotValid);
    setMaxPicturePixels(kDefaultMaxPicturePixels);
}

TEST(BmpReader, loadingFromFilesKeepsThePreviousPictureOnFailure)
{
    TempTree tree;
    TBitmap bitmap;
    int changes = 0;
    bitmap.OnChange = [&] { ++changes; };
    bitmap.LoadFromFile(tree.writeFile("good.bmp", buildBmp(trueColour(5, 3))));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_THROW(bitmap.LoadFromFile(tree.writeFile("bad.bmp", buildBmp(trueColour(5, 3)).substr(0, 20))), EReadError);
    EXPECT_THROW(bitmap.LoadFromFile(tree.path("missing.bmp")), EFOpenError);
    EXPECT_THROW(bitmap.LoadFromFile(tree.makeFifo("fifo.bmp")), EFOpenError); // must not block
    EXPECT_THROW(bitmap.LoadFromFile(tree.makeFolder("folder.bmp")), EFOpenError);
    EXPECT_EQ(changes, 1);
    expectPicture(bitmap.ToDisplayImage(), 5, 3, sample);
}
