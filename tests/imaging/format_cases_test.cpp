// Tables over the formats: each kind of colour, depth, transparency and
// layout a format reads, and hostile files of each format, with what the
// program must make of them.
#include "imaging/bitmap.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "support/temp_tree.h"
#include "support/tiff_fixtures.h"

#include <gtest/gtest.h>
#include <optional>

using namespace quillmere;
using namespace quillmere::test;

namespace {

constexpr int kWidth = 40;
constexpr int kHeight = 30;

int quadrantOf(int x, int y)
{
    return (x >= kWidth / 2 ? 1 : 0) + (y >= kHeight / 2 ? 2 : 0);
}

const QRgb kColours[4] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(230, 230, 40)};
const int kGreys[4] = {20, 90, 160, 240};
const int kAlphas[4] = {255, 0, 128, 255};

int channelOf(QRgb colour, int channel)
{
    return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

int overWhite(int value, int alpha)
{
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

QRgb colourOverWhite(QRgb colour, int alpha)
{
    return qRgb(overWhite(qRed(colour), alpha), overWhite(qGreen(colour), alpha), overWhite(qBlue(colour), alpha));
}

// One kind of file a format reads: a 40 x 30 picture of four flat
// quadrants, and the colour each quadrant must show.
struct KindCase {
    QString format;
    std::string what;
    std::function<std::string()> write;
    std::function<QRgb(int quadrant)> expected;
    int tolerance = 0;
};

// The quadrant colours as stored samples: RGB (and alpha) at 8 or 16 bits.
TiffSample rgbSamples(int bits, bool alpha)
{
    return [=](int, int x, int y, int c) {
        const int q = quadrantOf(x, y);
        const unsigned value = c == 3 && alpha ? unsigned(kAlphas[q]) : unsigned(channelOf(kColours[q], c));
        return bits == 16 ? value * 257 : value;
    };
}

TiffPage tiffPage(TiffPage::Colour colour, int bits, int compression = 5)
{
    TiffPage page;
    page.width = kWidth;
    page.height = kHeight;
    page.colour = colour;
    page.bitsPerSample = bits;
    page.compression = compression;
    return page;
}

KindCase tiffCase(std::string what, TiffPage page, TiffSample sample, std::function<QRgb(int)> expected,
                  int tolerance = 0, bool bigEndian = false, bool bigTiff = false)
{
    return KindCase{QStringLiteral("TIFF"), "TIFF " + what,
                    [=] { return encodeTiff({page}, sample, bigEndian, bigTiff); }, std::move(expected), tolerance};
}

std::vector<KindCase> kindCases()
{
    using Colour = TiffPage::Colour;
    const auto colours = [](int q) { return kColours[q]; };
    const auto greys = [](int q) { return qRgb(kGreys[q], kGreys[q], kGreys[q]); };
    const auto coloursOverWhite = [](int q) { return colourOverWhite(kColours[q], kAlphas[q]); };
    const auto greysOverWhite = [](int q) { return colourOverWhite(qRgb(kGreys[q], kGreys[q], kGreys[q]), kAlphas[q]); };
    const TiffSample greySamples = [](int, int x, int y, int c) {
        const int q = quadrantOf(x, y);
        return unsigned(c == 0 ? kGreys[q] : kAlphas[q]);
    };
    const auto cmykSamples = [](int bits) -> TiffSample {
        return [=](int, int x, int y, int c) {
            const unsigned value = c == 3 ? 0u : unsigned(255 - channelOf(kColours[quadrantOf(x, y)], c));
            return bits == 16 ? value * 257 : value;
        };
    };
    TiffPage palette = tiffPage(Colour::Palette, 8, 32773);
    TiffPage palette4 = tiffPage(Colour::Palette, 4, 1);
    for (TiffPage *page : {&palette, &palette4}) {
        page->palette.assign(3u << page->bitsPerSample, 0);
        const std::size_t entries = std::size_t(1) << page->bitsPerSample;
        for (int q = 0; q < 4; ++q) {
            for (int c = 0; c < 3; ++c) {
                page->palette[c * entries + q] = static_cast<std::uint16_t>(channelOf(kColours[q], c) * 257);
            }
        }
    }
    const TiffSample indices = [](int, int x, int y, int) { return unsigned(quadrantOf(x, y)); };
    TiffPage tiled = tiffPage(Colour::Rgb, 8);
    tiled.tileSize = 16;
    TiffPage planes = tiffPage(Colour::Rgb, 8);
    planes.separatePlanes = true;
    planes.rowsPerStrip = 4;
    TiffPage tiledPlanes = tiled;
    tiledPlanes.separatePlanes = true;
    TiffPage oneStrip = tiffPage(Colour::Rgb, 8, 8);
    oneStrip.rowsPerStrip = kHeight;
    TiffPage rgba = tiffPage(Colour::Rgb, 8);
    rgba.alpha = true;
    TiffPage rgba16 = tiffPage(Colour::Rgb, 16);
    rgba16.alpha = true;
    TiffPage greyAlpha = tiffPage(Colour::Grey, 8);
    greyAlpha.alpha = true;
    TiffPage tiledAlpha = tiled;
    tiledAlpha.alpha = true;
    TiffPage jpeg = tiffPage(Colour::YCbCrJpeg, 8);
    jpeg.rowsPerStrip = 16;

    return {
        tiffCase("RGB, 8 bits, LZW strips", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours),
        tiffCase("RGB, 16 bits", tiffPage(Colour::Rgb, 16), rgbSamples(16, false), colours),
        tiffCase("RGB, 16 bits, big-endian", tiffPage(Colour::Rgb, 16), rgbSamples(16, false), colours, 0, true),
        tiffCase("RGB, BigTIFF", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours, 0, false, true),
        tiffCase("RGB, BigTIFF, big-endian", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours, 0, true, true),
        tiffCase("RGB in one Deflate strip", oneStrip, rgbSamples(8, false), colours),
        tiffCase("RGB in 16 x 16 tiles", tiled, rgbSamples(8, false), colours),
        tiffCase("RGB in separate planes", planes, rgbSamples(8, false), colours),
        tiffCase("RGB in separate planes of tiles", tiledPlanes, rgbSamples(8, false), colours),
        tiffCase("grey, 8 bits", tiffPage(Colour::Grey, 8), greySamples, greys),
        tiffCase("grey, 16 bits", tiffPage(Colour::Grey, 16),
                 [=](int p, int x, int y, int c) { return greySamples(p, x, y, c) * 257; }, greys),
        tiffCase("palette, 8 bits, PackBits", palette, indices, colours),
        tiffCase("palette, 4 bits", palette4, indices, colours),
        tiffCase("CMYK, 8 bits", tiffPage(Colour::Cmyk, 8), cmykSamples(8), colours),
        tiffCase("CMYK, 16 bits", tiffPage(Colour::Cmyk, 16), cmykSamples(16), colours),
        tiffCase("RGBA, 8 bits", rgba, rgbSamples(8, true), coloursOverWhite, 1),
        tiffCase("RGBA, 16 bits", rgba16, rgbSamples(16, true), coloursOverWhite, 1),
        tiffCase("RGBA in tiles", tiledAlpha, rgbSamples(8, true), coloursOverWhite, 1),
        tiffCase("grey with alpha", greyAlpha, greySamples, greysOverWhite, 1),
        tiffCase("YCbCr JPEG", jpeg, rgbSamples(8, false), colours, 12),
        KindCase{QStringLiteral("TIFF"), "TIFF of two pages: the first",
                 [] {
                     TiffPage second = tiffPage(TiffPage::Colour::Grey, 8);
                     second.width = 64;
                     return encodeTiff({tiffPage(TiffPage::Colour::Rgb, 8), second}, [](int page, int x, int y, int c) {
                         return page == 0 ? unsigned(channelOf(kColours[quadrantOf(x, y)], c)) : 0u;
                     });
                 },
                 colours},
    };
}

const PictureFormat &formatNamed(const QString &name)
{
    for (const PictureFormat *format : PictureFormats()) {
        if (format->name() == name) {
            return *format;
        }
    }
    throw std::runtime_error("no format " + name.toStdString());
}

// The centre of each quadrant of an image of size.
QPoint centreOf(int quadrant, QSize size)
{
    return QPoint((quadrant % 2 * 2 + 1) * size.width() / 4, (quadrant / 2 * 2 + 1) * size.height() / 4);
}

} // namespace

TEST(FormatKinds, everyKindShowsItsColoursInTheThumbnailAndTheDecode)
{
    TempTree tree;
    for (const KindCase &kind : kindCases()) {
        const PictureFormat &format = formatNamed(kind.format);
        const std::string path = tree.writeFile("kind." + format.extensions().front(), kind.write());
        EXPECT_EQ(format.pictureSize(path), QSize(kWidth, kHeight)) << kind.what;
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_TRUE(thumbnail.ownPicture) << kind.what;
        EXPECT_EQ(thumbnail.size, QSize(kWidth, kHeight)) << kind.what;
        const QImage shown = thumbnail.thumbnail.ToDisplayImage();
        const QImage decoded = format.smallDecode(path, QSize(kWidth, kHeight)).ToDisplayImage();
        ASSERT_EQ(decoded.size(), QSize(kWidth, kHeight)) << kind.what;
        for (int q = 0; q < 4; ++q) {
            const QRgb expected = kind.expected(q);
            EXPECT_LE(colourDistance(shown.pixel(centreOf(q, shown.size())), expected), kind.tolerance)
                << kind.what << ", thumbnail quadrant " << q;
            EXPECT_LE(colourDistance(decoded.pixel(centreOf(q, decoded.size())), expected), kind.tolerance)
                << kind.what << ", decode quadrant " << q;
        }
    }
}

namespace {

// What the program must make of a hostile file: the stand-in with the
// stand-in's size (the file cannot be loaded), the stand-in with no size (it
// loads but cannot be shown), or what the file holds with its header's size.
enum class Outcome { StandInLoadFailed, StandInNoSize, OwnPicture };

struct HostileCase {
    QString format;
    std::string what;
    std::function<std::string()> write;
    Outcome outcome;
    std::optional<QSize> size; // the header's, for OwnPicture
};

std::string cutAt(std::string file, std::size_t length)
{
    file.resize(std::min(file.size(), length));
    return file;
}

std::vector<HostileCase> hostileCases()
{
    const TiffSample grey = [](int, int x, int y, int c) { return unsigned(x * 5 + y * 3 + c) & 255; };
    TiffPage large;
    large.width = 600;
    large.height = 400;
    TiffPage wordy;
    TiffPage flat;
    flat.width = 8000;
    flat.height = 8000;
    flat.colour = TiffPage::Colour::Grey;
    flat.compression = 8;
    flat.rowsPerStrip = 8000;
    return {
        {QStringLiteral("TIFF"), "TIFF of one grey, 8000 x 8000 in one Deflate strip of some 70 KB",
         [=] { return encodeTiff({flat}, [](int, int, int, int) { return 128u; }); }, Outcome::StandInNoSize,
         std::nullopt},
        {QStringLiteral("TIFF"), "TIFF claiming 16000 x 16000 in one Deflate strip of a few hundred bytes",
         [] { return tiffClaiming(16000, 16000, 8); }, Outcome::StandInNoSize, std::nullopt},
        {QStringLiteral("TIFF"), "TIFF claiming 100000 x 100000 pixels",
         [] { return tiffClaiming(100000, 100000, 1); }, Outcome::StandInNoSize, std::nullopt},
        {QStringLiteral("TIFF"), "TIFF cut before its directory",
         [=] { return cutAt(encodeTiff({large}, grey), 5000); }, Outcome::StandInLoadFailed, std::nullopt},
        {QStringLiteral("TIFF"), "TIFF of eight bytes", [=] { return cutAt(encodeTiff({large}, grey), 8); },
         Outcome::StandInLoadFailed, std::nullopt},
        {QStringLiteral("TIFF"), "TIFF with its directory first, cut in its pixels",
         [] { return cutAt(plainTiffDirectoryFirst(60, 40, 4), 3000); }, Outcome::OwnPicture, QSize(60, 40)},
        {QStringLiteral("TIFF"), "TIFF whose directory points at itself as the next page",
         [] { return withDirectoryLoop(plainTiffDirectoryFirst(60, 40, 4)); }, Outcome::OwnPicture, QSize(60, 40)},
        {QStringLiteral("TIFF"), "TIFF with four megabytes of description",
         [=] { return encodeTiff({wordy}, grey, false, false, {}, std::string(4 << 20, 'w')); }, Outcome::OwnPicture,
         QSize(16, 12)},
    };
}

} // namespace

TEST(HostileFormatFiles, eachGetsTheStandInOrWhatItHolds)
{
    TempTree tree;
    const QImage standIn = fallbackThumbnail();
    for (const HostileCase &hostile : hostileCases()) {
        const PictureFormat &format = formatNamed(hostile.format);
        const std::string path = tree.writeFile("hostile." + format.extensions().front(), hostile.write());
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        switch (hostile.outcome) {
        case Outcome::StandInLoadFailed:
            EXPECT_FALSE(thumbnail.ownPicture) << hostile.what;
            EXPECT_EQ(thumbnail.size, QSize(100, 80)) << hostile.what;
            EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), standIn) << hostile.what;
            break;
        case Outcome::StandInNoSize:
            EXPECT_FALSE(thumbnail.ownPicture) << hostile.what;
            EXPECT_EQ(thumbnail.size, std::nullopt) << hostile.what;
            EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), standIn) << hostile.what;
            break;
        case Outcome::OwnPicture:
            EXPECT_TRUE(thumbnail.ownPicture) << hostile.what;
            EXPECT_EQ(thumbnail.size, hostile.size) << hostile.what;
            break;
        }
        // The image view's small decode either refuses or stays small.
        try {
            const TBitmap small = format.smallDecode(path, QSize(50, 40));
            EXPECT_LE(std::int64_t(small.Width()) * small.Height(), 4 * 1024 * 1024) << hostile.what;
        } catch (const std::exception &) {
        }
    }
}
